// The form's background picture: a JPEG resource decoded once into a bitmap.
#pragma once

#include <windows.h>

#include "win_handles.h"

namespace app {

class BackgroundPicture {
public:
    // Decodes the RCDATA resource; an empty picture when it cannot be decoded (the form
    // then shows a plain white background, and says so through Loaded()).
    void Load(HINSTANCE instance, int resourceId);
    bool Loaded() const { return static_cast<bool>(bitmap_); }
    SIZE Size() const { return size_; }
    // Draws the picture from the top-left corner, scaled from 96 dpi to dpi, clipped.
    void Draw(HDC dc, UINT dpi) const;
    // A brush of the picture as drawn at dpi, for controls that show it through.
    HBRUSH Brush(UINT dpi);

private:
    host::UniqueBitmap bitmap_;
    SIZE size_{0, 0};
    host::UniqueBrush brush_;
    host::UniqueBitmap brushBitmap_;
    UINT brushDpi_ = 0;
};

}  // namespace app
