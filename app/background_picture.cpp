#include "app/background_picture.h"
#include "win32/units.h"

#include <cstring>

// The JPEG decoder: stb_image (Debian's libstb-dev), in-process and without COM, which a
// start of the program would otherwise load for the system's codecs. Only its JPEG
// decoder from memory is compiled in, and it allocates from a heap of its own that is
// destroyed after each decode, so its working memory does not stay in the process.
namespace app {
namespace {
thread_local HANDLE g_decodeHeap = nullptr;
void* DecoderAlloc(size_t size) { return ::HeapAlloc(g_decodeHeap, 0, size); }
[[maybe_unused]] void* DecoderRealloc(void* p, size_t size) {  // the JPEG decoder does not grow buffers
    return p ? ::HeapReAlloc(g_decodeHeap, 0, p, size) : ::HeapAlloc(g_decodeHeap, 0, size);
}
void DecoderFree(void* p) {
    if (p) ::HeapFree(g_decodeHeap, 0, p);
}
}  // namespace
}  // namespace app

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MALLOC(size) app::DecoderAlloc(size)
#define STBI_REALLOC(p, size) app::DecoderRealloc(p, size)
#define STBI_FREE(p) app::DecoderFree(p)
#include <stb_image.h>

namespace app {

namespace {

// The decoder's heap for one picture, destroyed with everything in it at the end of scope.
class DecoderHeap {
public:
    DecoderHeap() : heap_(::HeapCreate(HEAP_NO_SERIALIZE, 0, 0)) { g_decodeHeap = heap_; }
    ~DecoderHeap() {
        g_decodeHeap = nullptr;
        if (heap_) ::HeapDestroy(heap_);
    }
    DecoderHeap(const DecoderHeap&) = delete;
    DecoderHeap& operator=(const DecoderHeap&) = delete;
    explicit operator bool() const { return heap_ != nullptr; }

private:
    HANDLE heap_;
};

// A packed 32-bit bottom-up DIB (header, then pixels) of the picture at dpi, in the
// decoder's heap; null when the resource is missing or not decodable.
BITMAPINFOHEADER* DecodePicture(HINSTANCE instance, int resourceId, UINT dpi, SIZE& natural) {
    HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    HGLOBAL data = res ? ::LoadResource(instance, res) : nullptr;
    const DWORD bytes = res ? ::SizeofResource(instance, res) : 0;
    const void* jpeg = data ? ::LockResource(data) : nullptr;
    if (!jpeg || !bytes) return nullptr;
    int w = 0, h = 0, channels = 0;
    const stbi_uc* rgb =
        stbi_load_from_memory(static_cast<const stbi_uc*>(jpeg), static_cast<int>(bytes), &w, &h, &channels, 3);
    if (!rgb || w <= 0 || h <= 0) return nullptr;
    natural = SIZE{w, h};

    auto packed = [](int width, int height) {
        const size_t size = sizeof(BITMAPINFOHEADER) + static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        auto* header = static_cast<BITMAPINFOHEADER*>(DecoderAlloc(size));
        if (header) *header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        return header;
    };
    BITMAPINFOHEADER* picture = packed(w, h);
    if (!picture) return nullptr;
    // RGB rows, top first, to the DIB's blue, green, red, unused rows, bottom first.
    for (int y = 0; y < h; ++y) {
        const stbi_uc* from = rgb + static_cast<size_t>(y) * static_cast<size_t>(w) * 3;
        BYTE* to = reinterpret_cast<BYTE*>(picture + 1) + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) * 4;
        for (int x = 0; x < w; ++x, from += 3, to += 4) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            to[3] = 0;
        }
    }
    if (dpi == win32::dpi::kDesign) return picture;

    // Scaled once for this DPI, through a DIB section whose pixels are then packed too.
    const int sw = win32::DesignPixelsAt(w, dpi), sh = win32::DesignPixelsAt(h, dpi);
    BITMAPINFOHEADER* scaled = packed(sw, sh);
    if (!scaled) return nullptr;
    void* bits = nullptr;
    win32::UniqueBitmap section(
        ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(scaled), DIB_RGB_COLORS, &bits, nullptr, 0));
    win32::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!section || !bits || !dc) return nullptr;
    {
        win32::SelectedObject selected(dc.get(), section.get());
        ::SetStretchBltMode(dc.get(), HALFTONE);
        ::SetBrushOrgEx(dc.get(), 0, 0, nullptr);
        ::StretchDIBits(dc.get(), 0, 0, sw, sh, 0, 0, w, h, picture + 1, reinterpret_cast<BITMAPINFO*>(picture),
                        DIB_RGB_COLORS, SRCCOPY);
    }
    ::GdiFlush();
    std::memcpy(scaled + 1, bits, static_cast<size_t>(sw) * static_cast<size_t>(sh) * 4);
    return scaled;
}

}  // namespace

void BackgroundPicture::Load(HINSTANCE instance, int resourceId, UINT dpi) {
    instance_ = instance;
    resourceId_ = resourceId;
    brush_.reset();
    brushDpi_ = 0;
    Brush(dpi);
}

void BackgroundPicture::Draw(HDC dc, UINT dpi) {
    if (!Brush(dpi) || !Loaded()) return;
    const SIZE drawn = DrawnSize(dpi);
    RECT r{0, 0, drawn.cx, drawn.cy};
    POINT previous{};
    ::SetBrushOrgEx(dc, 0, 0, &previous);
    ::FillRect(dc, &r, brush_.get());
    ::SetBrushOrgEx(dc, previous.x, previous.y, nullptr);
}

HBRUSH BackgroundPicture::Brush(UINT dpi) {
    if (brush_ && brushDpi_ == dpi) return brush_.get();
    DecoderHeap heap;
    SIZE natural{0, 0};
    const BITMAPINFOHEADER* picture = heap ? DecodePicture(instance_, resourceId_, dpi, natural) : nullptr;
    // The brush takes a copy of the packed picture, so the decoder's heap can go.
    if (picture) brush_.reset(::CreateDIBPatternBrushPt(picture, DIB_RGB_COLORS));
    if (!picture || !brush_) return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    brushDpi_ = dpi;
    size_ = natural;
    return brush_.get();
}

}  // namespace app
