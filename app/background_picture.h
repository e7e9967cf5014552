// The form's background picture: a JPEG resource, decoded whenever the form's background
// is painted and let go right after, so the process holds none of its pixels between
// paints. What shows the picture through (the labels) gets a brush of its own rectangle
// only, kept until the DPI changes.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

#include "win32/win_handles.h"

namespace app {

class BackgroundPicture {
public:
    // The RCDATA resource to paint. Without a picture (the resource missing or not
    // decodable) the form shows a plain white background.
    void Load(HINSTANCE instance, int resourceId);
    // Draws the picture from the top-left corner, scaled from 96 dpi to dpi, clipped, and
    // makes the brushes of `through` (client rectangles) from the same decode. Returns the
    // size it covered: nothing without a picture.
    SIZE Draw(HDC dc, UINT dpi, std::span<const RECT> through);
    // The picture under `rect` (client coordinates) at dpi, as a brush whose origin is the
    // rectangle's top-left corner; white without a picture.
    HBRUSH BrushFor(const RECT& rect, UINT dpi);

private:
    struct Through {
        RECT Rect;
        win32::UniqueBrush Brush;
    };
    void MakeBrushes(const BITMAPINFOHEADER* picture, std::span<const RECT> rects, UINT dpi);

    HINSTANCE instance_ = nullptr;
    int resourceId_ = 0;
    std::vector<Through> through_;
    UINT throughDpi_ = 0;
};

}  // namespace app
