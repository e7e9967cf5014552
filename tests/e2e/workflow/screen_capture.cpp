#include "tests/e2e/workflow/screen_capture.h"

#include <vector>

#include "win32/win_handles.h"
#include "tests/win/support/win_owners.h"

namespace dorvane::test {

COLORREF ScreenPixelAt(int x, int y) {
    const win32::WindowDc screen(nullptr);
    return ::GetPixel(screen.get(), x, y);
}

bool SaveScreenRect(const RECT& area, const std::wstring& path) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return false;
    const win32::WindowDc screen(nullptr);
    const win32::UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
    const win32::UniqueBitmap bmp(::CreateCompatibleBitmap(screen.get(), w, h));
    {
        const win32::SelectedObject drawn(mem.get(), bmp.get());  // not while GetDIBits reads it
        ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), area.left, area.top, SRCCOPY);
    }
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof(bi);
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(h));
    ::GetDIBits(mem.get(), bmp.get(), 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi),
                DIB_RGB_COLORS);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi);
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    const UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return f && ::WriteFile(f.get(), &fh, sizeof(fh), &written, nullptr) &&
           ::WriteFile(f.get(), &bi, sizeof(bi), &written, nullptr) &&
           ::WriteFile(f.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
}

}  // namespace dorvane::test
