#include "tools/buttonstrip/png_writer.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <stdexcept>

#include "base/com_ptr.h"

namespace buttonstrip {

namespace {

void Check(HRESULT hr, const char* step) {
    if (SUCCEEDED(hr)) return;
    char text[160];
    std::snprintf(text, sizeof text, "PNG encoder: %s failed (HRESULT 0x%08lX)", step, static_cast<unsigned long>(hr));
    throw std::runtime_error(text);
}

}  // namespace

void WritePng(const std::wstring& path, const Picture& picture) {
    if (picture.Width <= 0 || picture.Height <= 0 ||
        picture.Pixels.size() != static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height))
        throw std::runtime_error("PNG encoder: the picture has no pixels");

    base::ComPtr<IWICImagingFactory> factory;
    Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             reinterpret_cast<void**>(factory.put())),
          "creating the imaging factory");
    base::ComPtr<IWICStream> stream;
    Check(factory->CreateStream(stream.put()), "creating the stream");
    Check(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE), "opening the output file");
    base::ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()), "creating the encoder");
    Check(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), "starting the encoder");
    base::ComPtr<IWICBitmapFrameEncode> frame;
    Check(encoder->CreateNewFrame(frame.put(), nullptr), "creating the frame");
    Check(frame->Initialize(nullptr), "starting the frame");
    Check(frame->SetSize(static_cast<UINT>(picture.Width), static_cast<UINT>(picture.Height)), "sizing the frame");

    // 24-bit BGR rows: the format every PNG encoder accepts as it is.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    Check(frame->SetPixelFormat(&format), "choosing the pixel format");
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        throw std::runtime_error("PNG encoder: 24-bit BGR pixels are not accepted");
    const UINT stride = (static_cast<UINT>(picture.Width) * 3 + 3) & ~3u;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * static_cast<size_t>(picture.Height));
    for (int y = 0; y < picture.Height; ++y) {
        BYTE* out = rows.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < picture.Width; ++x) {
            const uint32_t p = picture.Pixels[static_cast<size_t>(y) * picture.Width + x];
            *out++ = static_cast<BYTE>(p & 0xFF);          // blue
            *out++ = static_cast<BYTE>((p >> 8) & 0xFF);   // green
            *out++ = static_cast<BYTE>((p >> 16) & 0xFF);  // red
        }
    }
    Check(frame->WritePixels(static_cast<UINT>(picture.Height), stride, static_cast<UINT>(rows.size()), rows.data()),
          "writing the pixels");
    Check(frame->Commit(), "finishing the frame");
    Check(encoder->Commit(), "finishing the file");
}

}  // namespace buttonstrip
