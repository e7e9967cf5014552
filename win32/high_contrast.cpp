#include "win32/high_contrast.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace win32 {

namespace {

// The relative luminance of an sRGB colour, 0 (black) to 1 (white).
double Luminance(COLORREF c) {
    auto channel = [](BYTE v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) + 0.0722 * channel(GetBValue(c));
}

// 0: ask the system; 1: off; 2: on.
std::atomic<int> g_override{0};

}  // namespace

void OverrideHighContrast(std::optional<bool> on) { g_override = on ? (*on ? 2 : 1) : 0; }

bool HighContrastOn() {
    if (const int forced = g_override.load()) return forced == 2;
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof(hc);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

COLORREF ReadableOn(COLORREF background, COLORREF preferred, COLORREF fallback) {
    const double a = Luminance(background), b = Luminance(preferred);
    const double ratio = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    return ratio >= 4.5 ? preferred : fallback;
}

}  // namespace win32
