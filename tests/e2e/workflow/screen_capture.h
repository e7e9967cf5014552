// Pixels of the screen, and screenshots written as BMP files for a person to look at.
#pragma once

#include <windows.h>

#include <string>

namespace dorvane::test {

COLORREF ScreenPixelAt(int x, int y);
// Writes the given screen rectangle as a 24-bit BMP; false when it could not.
bool SaveScreenRect(const RECT& area, const std::wstring& path);

}  // namespace dorvane::test
