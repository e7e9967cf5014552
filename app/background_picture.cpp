#include "background_picture.h"

#include <memory>

// The JPEG decoder: stb_image (Debian's libstb-dev), in-process and without COM, which a
// start of the program would otherwise load for the system's codecs. Only its JPEG
// decoder from memory is compiled in.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_FAILURE_STRINGS
#include <stb_image.h>

namespace app {

namespace {

struct StbFree {
    void operator()(stbi_uc* pixels) const noexcept { stbi_image_free(pixels); }
};

}  // namespace

void BackgroundPicture::Load(HINSTANCE instance, int resourceId) {
    HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!res) return;
    HGLOBAL data = ::LoadResource(instance, res);
    const DWORD size = ::SizeofResource(instance, res);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes || !size) return;

    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, StbFree> rgb(stbi_load_from_memory(static_cast<const stbi_uc*>(bytes),
                                                                static_cast<int>(size), &w, &h, &channels, 3));
    if (!rgb || w <= 0 || h <= 0) return;

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    host::UniqueBitmap dib(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return;
    // RGB bytes to the DIB's blue, green, red, unused.
    const stbi_uc* from = rgb.get();
    auto* to = static_cast<BYTE*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(w) * static_cast<size_t>(h); i < n; ++i, from += 3, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = 0;
    }
    bitmap_ = std::move(dib);
    size_ = SIZE{w, h};
    brush_.reset();
    brushDpi_ = 0;
}

void BackgroundPicture::Draw(HDC dc, UINT dpi) const {
    if (!bitmap_) return;
    host::UniqueMemoryDc src(::CreateCompatibleDC(dc));
    host::SelectedObject sel(src.get(), bitmap_.get());
    if (dpi == 96) {
        ::BitBlt(dc, 0, 0, size_.cx, size_.cy, src.get(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::StretchBlt(dc, 0, 0, MulDiv(size_.cx, static_cast<int>(dpi), 96), MulDiv(size_.cy, static_cast<int>(dpi), 96),
                     src.get(), 0, 0, size_.cx, size_.cy, SRCCOPY);
    }
}

HBRUSH BackgroundPicture::Brush(UINT dpi) {
    if (!bitmap_) return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    if (brush_ && brushDpi_ == dpi) return brush_.get();
    HDC screen = ::GetDC(nullptr);
    const int w = MulDiv(size_.cx, static_cast<int>(dpi), 96), h = MulDiv(size_.cy, static_cast<int>(dpi), 96);
    host::UniqueBitmap scaled(::CreateCompatibleBitmap(screen, w, h));
    {
        host::UniqueMemoryDc dst(::CreateCompatibleDC(screen));
        host::SelectedObject sel(dst.get(), scaled.get());
        Draw(dst.get(), dpi);
    }
    ::ReleaseDC(nullptr, screen);
    brush_.reset(::CreatePatternBrush(scaled.get()));
    brushBitmap_ = std::move(scaled);
    brushDpi_ = dpi;
    return brush_.get() ? brush_.get() : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

}  // namespace app
