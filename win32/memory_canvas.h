// An off-screen picture: a memory DC together with the bitmap it draws on and the font it
// writes with, all three owned. The DC's own bitmap and font are selected back before
// anything is deleted, so nobody keeps "original object" fields by hand (WTL's CMemoryDC,
// but move-only).
#pragma once

#include <windows.h>

#include <utility>

#include "win32/win_handles.h"

namespace win32 {

class MemoryCanvas {
public:
    MemoryCanvas() = default;
    // A DC compatible with `like` (null: the screen); empty when the system refuses one.
    explicit MemoryCanvas(HDC like) noexcept : dc_(::CreateCompatibleDC(like)) {}
    ~MemoryCanvas() { SelectOriginals(); }
    MemoryCanvas(MemoryCanvas&& o) noexcept
        : dc_(std::move(o.dc_)),
          bitmap_(std::move(o.bitmap_)),
          font_(std::move(o.font_)),
          originalBitmap_(std::exchange(o.originalBitmap_, nullptr)),
          originalFont_(std::exchange(o.originalFont_, nullptr)) {}
    MemoryCanvas& operator=(MemoryCanvas&& o) noexcept {
        if (this != &o) {
            SelectOriginals();
            dc_ = std::move(o.dc_);
            bitmap_ = std::move(o.bitmap_);
            font_ = std::move(o.font_);
            originalBitmap_ = std::exchange(o.originalBitmap_, nullptr);
            originalFont_ = std::exchange(o.originalFont_, nullptr);
        }
        return *this;
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC get() const noexcept { return dc_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(dc_); }
    HBITMAP Bitmap() const noexcept { return bitmap_.get(); }
    HFONT Font() const noexcept { return font_.get(); }

    // Selects the bitmap (font) in and owns it; the one it replaces is deleted.
    void Select(UniqueBitmap bitmap) noexcept { SelectOwned(bitmap, bitmap_, originalBitmap_); }
    void Select(UniqueFont font) noexcept { SelectOwned(font, font_, originalFont_); }

private:
    template <typename Owner>
    void SelectOwned(Owner& next, Owner& current, HGDIOBJ& original) noexcept {
        HGDIOBJ previous = ::SelectObject(dc_.get(), next.get());
        if (!original) original = previous;
        current = std::move(next);  // the one selected until now is out of the DC: delete it
    }
    void SelectOriginals() noexcept {
        if (!dc_) return;
        if (originalFont_) ::SelectObject(dc_.get(), originalFont_);
        if (originalBitmap_) ::SelectObject(dc_.get(), originalBitmap_);
    }

    UniqueMemoryDc dc_;  // declared first: deleted last, after what was selected into it
    UniqueBitmap bitmap_;
    UniqueFont font_;
    HGDIOBJ originalBitmap_ = nullptr;
    HGDIOBJ originalFont_ = nullptr;
};

}  // namespace win32
