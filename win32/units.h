// The units the form and its controls are measured in, and their conversions at a DPI:
// twips (1/1440 inch: the form's design), HIMETRIC (0.01 mm: a control's stored extent),
// points (1/72 inch: font sizes) and pixels. Results round half away from zero.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>

#include "win32/dpi.h"

namespace win32 {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kHimetricPerInch = 2540;
inline constexpr int kPointsPerInch = 72;
inline constexpr int kTwipsPerPoint = kTwipsPerInch / kPointsPerInch;

inline int TwipsToPixels(int32_t twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }
inline int32_t PixelsToTwips(double pixels, UINT dpi) {
    return static_cast<int32_t>(std::lround(pixels * kTwipsPerInch / dpi));
}
inline int HimetricToPixels(int32_t himetric, UINT dpi) {
    return static_cast<int>(std::lround(himetric * static_cast<double>(dpi) / kHimetricPerInch));
}
inline int32_t PixelsToHimetric(double pixels, UINT dpi) {
    return static_cast<int32_t>(std::lround(pixels * kHimetricPerInch / dpi));
}
inline long PointsToPixels(double points, UINT dpi) { return std::lround(points * dpi / kPointsPerInch); }
// A length drawn at 96 dpi (the design DPI of pictures and of the layout), at dpi.
inline int DesignPixelsAt(int pixels, UINT dpi) { return ::MulDiv(pixels, static_cast<int>(dpi), dpi::kDesign); }

}  // namespace win32
