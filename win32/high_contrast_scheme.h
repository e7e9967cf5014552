// A High Contrast scheme for the length of a scope, for the tests and tools that look at
// Dorvane in one: the scheme's system colours are set with SetSysColors (which tells
// every top-level window) and put back at the end, and High Contrast is reported on
// meanwhile. Wine keeps no High Contrast setting of its own, so the host's override
// stands in for the flag.
#pragma once

#include <windows.h>

#include <optional>

#include "win32/high_contrast.h"

namespace win32 {

class HighContrastScheme {
public:
    struct Colours {
        COLORREF Window, WindowText, ButtonFace, ButtonText, Highlight, HighlightText, GrayText;
    };
    // Windows' own black and white schemes, as far as Dorvane draws with them.
    static constexpr Colours kBlack{RGB(0, 0, 0),      RGB(255, 255, 255), RGB(0, 0, 0),    RGB(255, 255, 255),
                                    RGB(26, 235, 255), RGB(0, 0, 0),       RGB(63, 242, 63)};
    static constexpr Colours kWhite{RGB(255, 255, 255), RGB(0, 0, 0),       RGB(255, 255, 255), RGB(0, 0, 0),
                                    RGB(55, 0, 110),    RGB(255, 255, 255), RGB(96, 0, 0)};

    explicit HighContrastScheme(const Colours& c) {
        for (int i = 0; i < kCount; ++i) saved_[i] = ::GetSysColor(kIndices[i]);
        OverrideHighContrast(true);
        const COLORREF values[kCount] = {c.Window,    c.WindowText,    c.ButtonFace, c.ButtonText,
                                         c.Highlight, c.HighlightText, c.GrayText};
        ::SetSysColors(kCount, kIndices, values);
    }
    ~HighContrastScheme() {
        ::SetSysColors(kCount, kIndices, saved_);
        OverrideHighContrast(std::nullopt);
    }
    HighContrastScheme(const HighContrastScheme&) = delete;
    HighContrastScheme& operator=(const HighContrastScheme&) = delete;

private:
    static constexpr int kCount = 7;
    static constexpr int kIndices[kCount] = {COLOR_WINDOW,    COLOR_WINDOWTEXT,    COLOR_BTNFACE, COLOR_BTNTEXT,
                                             COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT};
    COLORREF saved_[kCount] = {};
};

}  // namespace win32
