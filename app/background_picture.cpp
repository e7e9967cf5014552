#include "background_picture.h"

#include <objbase.h>
#include <shlwapi.h>
#include <wincodec.h>

namespace app {

namespace {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** put() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

}  // namespace

void BackgroundPicture::Load(HINSTANCE instance, int resourceId) {
    HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!res) return;
    HGLOBAL data = ::LoadResource(instance, res);
    const DWORD size = ::SizeofResource(instance, res);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes || !size) return;

    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.put()))))
        return;
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put()))) return;
    if (FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size))) return;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
        return;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put()))) return;
    if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return;
    UINT w = 0, h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || !w || !h) return;

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = static_cast<LONG>(w);
    bi.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    host::UniqueBitmap dib(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return;
    if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits)))) return;
    bitmap_ = std::move(dib);
    size_ = SIZE{static_cast<LONG>(w), static_cast<LONG>(h)};
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
