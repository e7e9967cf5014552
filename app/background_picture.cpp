#include "app/background_picture.h"
#include "win32/units.h"

#include <cstring>
#include <vector>

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
BITMAPINFOHEADER* DecodePicture(HINSTANCE instance, int resourceId, UINT dpi) {
    HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    HGLOBAL data = res ? ::LoadResource(instance, res) : nullptr;
    const DWORD bytes = res ? ::SizeofResource(instance, res) : 0;
    const void* jpeg = data ? ::LockResource(data) : nullptr;
    if (!jpeg || !bytes) return nullptr;
    int w = 0, h = 0, channels = 0;
    const stbi_uc* rgb =
        stbi_load_from_memory(static_cast<const stbi_uc*>(jpeg), static_cast<int>(bytes), &w, &h, &channels, 3);
    if (!rgb || w <= 0 || h <= 0) return nullptr;

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

void BackgroundPicture::Load(HINSTANCE instance, int resourceId) {
    instance_ = instance;
    resourceId_ = resourceId;
    through_.clear();
}

void BackgroundPicture::MakeBrushes(const BITMAPINFOHEADER* picture, std::span<const RECT> rects, UINT dpi) {
    if (throughDpi_ != dpi) through_.clear();
    throughDpi_ = dpi;
    const LONG w = picture->biWidth, h = picture->biHeight;  // bottom-up rows
    for (const RECT& r : rects) {
        bool made = false;
        for (const Through& t : through_) made = made || ::EqualRect(&t.Rect, &r);
        const LONG rw = r.right - r.left, rh = r.bottom - r.top;
        if (made || rw <= 0 || rh <= 0) continue;
        // The rectangle's pixels as a packed bottom-up DIB; outside the picture, white.
        std::vector<BYTE> packed(sizeof(BITMAPINFOHEADER) + static_cast<size_t>(rw) * static_cast<size_t>(rh) * 4, 0xFF);
        *reinterpret_cast<BITMAPINFOHEADER*>(packed.data()) =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), rw, rh, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        const auto* from = reinterpret_cast<const DWORD*>(picture + 1);
        auto* to = reinterpret_cast<DWORD*>(packed.data() + sizeof(BITMAPINFOHEADER));
        for (LONG y = 0; y < rh; ++y) {
            const LONG py = r.top + y;
            if (py < 0 || py >= h) continue;
            for (LONG x = 0; x < rw; ++x) {
                const LONG px = r.left + x;
                if (px >= 0 && px < w) to[(rh - 1 - y) * rw + x] = from[(h - 1 - py) * w + px];
            }
        }
        win32::UniqueBrush brush(::CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS));
        if (brush) through_.push_back(Through{r, std::move(brush)});
    }
}

SIZE BackgroundPicture::Draw(HDC dc, UINT dpi, std::span<const RECT> through) {
    DecoderHeap heap;
    const BITMAPINFOHEADER* picture = heap ? DecodePicture(instance_, resourceId_, dpi) : nullptr;
    if (!picture) return SIZE{0, 0};
    const int w = picture->biWidth, h = picture->biHeight;
    ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0, static_cast<UINT>(h),
                        picture + 1, reinterpret_cast<const BITMAPINFO*>(picture), DIB_RGB_COLORS);
    MakeBrushes(picture, through, dpi);
    return SIZE{w, h};
}

HBRUSH BackgroundPicture::BrushFor(const RECT& rect, UINT dpi) {
    auto find = [&]() -> HBRUSH {
        if (throughDpi_ != dpi) return nullptr;
        for (const Through& t : through_)
            if (::EqualRect(&t.Rect, &rect)) return t.Brush.get();
        return nullptr;
    };
    if (HBRUSH b = find()) return b;
    // Not made at the last paint of the background (a label moved, or painted first).
    DecoderHeap heap;
    if (const BITMAPINFOHEADER* picture = heap ? DecodePicture(instance_, resourceId_, dpi) : nullptr)
        MakeBrushes(picture, std::span<const RECT>(&rect, 1), dpi);
    if (HBRUSH b = find()) return b;
    return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

}  // namespace app
