// High Contrast, as Windows asks programs to honour it: while the user's setting is on
// (SPI_GETHIGHCONTRAST reports HCF_HIGHCONTRASTON), draw with the system colours
// (GetSysColor) and leave out pictures that carry no information. A change of scheme
// comes as WM_SYSCOLORCHANGE and WM_SETTINGCHANGE (SPI_SETHIGHCONTRAST).
#pragma once

#include <windows.h>

#include <optional>

namespace win32 {

// Whether High Contrast is on now.
bool HighContrastOn();

// Makes HighContrastOn answer `on` whatever the system says, until called with nullopt.
// For tests: Wine keeps no High Contrast setting (SPI_SETHIGHCONTRAST fails there and
// SPI_GETHIGHCONTRAST always reports it off), though its system colours can be set.
void OverrideHighContrast(std::optional<bool> on);

// `preferred` where it stands out from `background` as much as Windows' guidance for text
// asks (a contrast ratio of at least 4.5 to 1, from the colours' relative luminance),
// else `fallback`.
COLORREF ReadableOn(COLORREF background, COLORREF preferred, COLORREF fallback);

}  // namespace win32
