// The form's background picture: a JPEG resource, kept only as one pattern brush of the
// picture at the window's DPI, which both paints the background and shows through the
// labels.
#pragma once

#include <windows.h>

#include "win32/win_handles.h"
#include "win32/units.h"

namespace app {

class BackgroundPicture {
public:
    // Decodes the RCDATA resource and makes the brush for dpi. Without a picture (the
    // resource missing or not decodable) the form shows a plain white background, and
    // Loaded() says so.
    void Load(HINSTANCE instance, int resourceId, UINT dpi);
    bool Loaded() const { return size_.cx > 0; }
    SIZE Size() const { return size_; }  // at 96 dpi
    SIZE DrawnSize(UINT dpi) const {     // as Draw covers it at dpi
        return SIZE{win32::DesignPixelsAt(size_.cx, dpi), win32::DesignPixelsAt(size_.cy, dpi)};
    }
    // Draws the picture from the top-left corner, scaled from 96 dpi to dpi, clipped.
    void Draw(HDC dc, UINT dpi);
    // The picture as drawn at dpi, as a brush for controls that show it through. A new
    // DPI decodes the resource again: no second copy of the pixels is kept for it.
    HBRUSH Brush(UINT dpi);

private:
    HINSTANCE instance_ = nullptr;
    int resourceId_ = 0;
    SIZE size_{0, 0};
    win32::UniqueBrush brush_;
    UINT brushDpi_ = 0;
};

}  // namespace app
