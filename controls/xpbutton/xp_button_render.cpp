// XPButton2's look: one routine repaints the whole control for a state; three small
// routines carry out its strokes, each creating and deleting its own pen or brush.
#include "controls/xpbutton/xp_button_render.h"

#include <cmath>

#include "controls/xpbutton/xp_button.h"
#include "win32/high_contrast.h"
#include "win32/win_handles.h"

namespace xpbutton {

namespace {

// Runs one step that uses the host's surface, which raises when it cannot serve (no site).
template <typename Fn>
void Step(Fn&& fn) noexcept {
    try {
        fn();
    } catch (...) {
        // A failing step is skipped, so the routine always completes and redrawing resumes.
    }
}

}  // namespace

void XPButton2::InitColors() {
    m_tColors = ButtonColors{
        /*aBorder*/ {0xBAC7C9, 0x743C00, 0x743C00, 0x743C00, 0x743C00},
        /*aLight1*/ {0, 0xFFFFFF, 0xFFE7CE, 0xCEF3FF, 0},
        /*aLight2*/ {0, 0xFEFEFE, 0xF7D7BD, 0x8CDBFF, 0},
        /*aShade1*/ {0, 0xD6DFE2, 0xE7AE8C, 0x31B2FF, 0},
        /*aShade2*/ {0, 0xC5D0D6, 0xEF826B, 0x0096E6, 0},
        /*aCornerEdge*/ {0x8CB1C4, 0x845521, 0x845521, 0x845521, 0x845521},
        /*aCornerOuter*/ {0xBDC7CE, 0xAD967B, 0xAD967B, 0xAD967B, 0xAD967B},
        /*aCornerInner*/ {0x8CB1C4, 0xA57D52, 0xA57D52, 0xA57D52, 0xA57D52},
        /*aGlowTop*/ {0, 0xFBFCFC, 0xF7D3BD, 0x9CDFE1, 0},
        /*aGlowBottom*/ {0, 0xE6EBEC, 0xE7AE8C, 0x30B6FF, 0},
    };
}

void XPButton2::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    HDC dc = SurfaceHdc();
    win32::UniquePen pen(::CreatePen(PS_SOLID, 1, colour));
    win32::SelectedObject selected(dc, pen.get());  // the previous pen goes back before the pen is deleted
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

void XPButton2::FillSolid(const DrawRect& rect, uint32_t colour) {
    win32::UniqueBrush brush(::CreateSolidBrush(colour));
    HDC dc = SurfaceHdc();
    RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
    ::FillRect(dc, &r, brush.get());
}

void XPButton2::DrawGradient(const DrawRect& rect, uint32_t topColour, uint32_t bottomColour) {
    const int32_t n = rect.Bottom - rect.Top;
    // Rows top to bottom inclusive: a zero-height band has no step between its two
    // colours and is left out, and a negative one draws nothing.
    if (n <= 0) return;
    auto split = [](uint32_t c, float& r, float& g, float& b) {
        r = static_cast<float>(c & 0xFF);
        g = static_cast<float>((c / 256) & 0xFF);
        b = static_cast<float>((c & 0xFF0000) / 65536);
    };
    float rA, gA, bA, rB, gB, bB;
    split(topColour, rA, gA, bA);
    split(bottomColour, rB, gB, bB);
    const float stepR = (rA - rB) / static_cast<float>(n);
    const float stepG = (gA - gB) / static_cast<float>(n);
    const float stepB = (bA - bB) / static_cast<float>(n);
    for (int32_t i = 0; i <= n; ++i) {
        // Rows from the bottom up; halves round to the even integer.
        const float fi = static_cast<float>(i);
        const auto r = static_cast<uint32_t>(std::nearbyint(fi * stepR + rB));
        const auto g = static_cast<uint32_t>(std::nearbyint(fi * stepG + gB));
        const auto b = static_cast<uint32_t>(std::nearbyint(fi * stepB + bB));
        const int32_t y = rect.Top + n - i;
        DrawLine(rect.Left, y, rect.Right, y, r + 256 * g + 65536 * b);
    }
}

void XPButton2::DrawHighContrastFrame(int32_t s, int32_t W, int32_t H) {
    // The user's system colours, and the shape as ever (region, corners, caption place,
    // focus rectangle). Each look is told by its border as well as by its colours:
    // disabled a dotted line, normal one line, hot one line and an inner one, focused or
    // default a border two pixels wide, pressed three.
    if (s < STATE_DISABLED || s >= kLookCount) return;
    const bool lit = s == STATE_HOT || s == STATE_PRESSED;
    FillSolid({1, 1, W - 1, H - 1}, ::GetSysColor(lit ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    const uint32_t border = ::GetSysColor(s == STATE_DISABLED ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
    HDC dc = SurfaceHdc();
    if (s == STATE_DISABLED) {
        for (int32_t x = 3; x < W - 3; x += 2) {
            ::SetPixel(dc, x, 0, border);
            ::SetPixel(dc, x, H - 1, border);
        }
        for (int32_t y = 3; y < H - 3; y += 2) {
            ::SetPixel(dc, 0, y, border);
            ::SetPixel(dc, W - 1, y, border);
        }
    } else {
        DrawLine(3, 0, W - 3, 0, border);
        DrawLine(0, 3, 0, H - 3, border);
        DrawLine(3, H - 1, W - 3, H - 1, border);
        DrawLine(W - 1, 3, W - 1, H - 3, border);
    }
    // The rounded corners: the pixels that continue the border and the inner one.
    for (const POINT& p :
         {POINT{2, 0}, POINT{0, 2}, POINT{1, 1}, POINT{W - 3, 0}, POINT{W - 1, 2}, POINT{W - 2, 1}, POINT{0, H - 3},
          POINT{2, H - 1}, POINT{1, H - 2}, POINT{W - 1, H - 3}, POINT{W - 3, H - 1}, POINT{W - 2, H - 2}})
        ::SetPixel(dc, p.x, p.y, border);
    auto ring = [&](int32_t i) {  // a rectangle i pixels inside the border
        DrawLine(i, i, W - i, i, border);
        DrawLine(i, H - 1 - i, W - i, H - 1 - i, border);
        DrawLine(i, i, i, H - i, border);
        DrawLine(W - 1 - i, i, W - 1 - i, H - i, border);
    };
    if (s == STATE_FOCUSED || s == STATE_PRESSED) ring(1);
    if (s == STATE_HOT || s == STATE_PRESSED) ring(2);
}

void XPButton2::DrawButton(int32_t state) {
    if (m_bNoRedraw) return;
    m_lState = state;
    const int32_t s = m_lState;
    // A state that is no look has no colours: the parts drawn in table colours are left out.
    const bool inTable = s >= STATE_DISABLED && s < kLookCount;
    int32_t W = 0, H = 0;
    Step([&] {
        W = static_cast<int32_t>(std::nearbyint(ScaleWidth()));
        H = static_cast<int32_t>(std::nearbyint(ScaleHeight()));
    });
    Step([&] { Cls(); });
    HDC dc = nullptr;
    Step([&] { dc = SurfaceHdc(); });
    const bool highContrast = win32::HighContrastOn();

    if (highContrast) {
        Step([&] { DrawHighContrastFrame(s, W, H); });
    } else if (inTable) {
        Step([&] {
            const uint32_t c = m_tColors.aBorder[s];
            DrawLine(3, 0, W - 3, 0, c);
            DrawLine(0, 3, 0, H - 3, c);
            DrawLine(3, H - 1, W - 3, H - 1, c);
            DrawLine(W - 1, 3, W - 1, H - 3, c);
        });
    }

    if (highContrast) {
        // Drawn above.
    } else if (s == STATE_DISABLED || s == STATE_PRESSED) {
        Step([&] { FillSolid({1, 1, W - 1, H - 1}, s == STATE_PRESSED ? FACE_PRESSED : FACE_DISABLED); });
    } else if (s >= STATE_NORMAL && s <= STATE_HOT) {
        // A state that is no look gets no face at all, not even the fixed face gradient.
        Step([&] { DrawGradient({1, 3, W - 1, H - 2}, m_tColors.aGlowTop[s], m_tColors.aGlowBottom[s]); });
        Step([&] { DrawGradient({3, 3, W - 3, H - 3}, FACE_TOP, FACE_BOTTOM); });
        Step([&] { DrawLine(1, 1, W, 1, m_tColors.aLight1[s]); });
        Step([&] { DrawLine(1, 2, W, 2, m_tColors.aLight2[s]); });
        Step([&] { DrawLine(1, H - 3, W, H - 3, m_tColors.aShade1[s]); });
        Step([&] { DrawLine(2, H - 2, W - 1, H - 2, m_tColors.aShade2[s]); });
    }

    if (inTable && !highContrast) {
        const uint32_t E = m_tColors.aCornerEdge[s];
        const uint32_t O = m_tColors.aCornerOuter[s];
        const uint32_t I = m_tColors.aCornerInner[s];
        const struct {
            int32_t X, Y;
            uint32_t C;
        } pixels[] = {
            {0, 1, O},         {0, 2, E},         {1, 0, O},         {1, 1, I},         {2, 0, E},
            {W - 1, 1, O},     {W - 1, 2, E},     {W - 2, 0, O},     {W - 2, 1, I},     {W - 3, 0, E},
            {0, H - 2, O},     {0, H - 3, E},     {1, H - 1, O},     {1, H - 2, I},     {2, H - 1, E},
            {W - 1, H - 2, O}, {W - 1, H - 3, E}, {W - 2, H - 1, O}, {W - 2, H - 2, I}, {W - 3, H - 1, E},
        };
        for (const auto& p : pixels) ::SetPixel(dc, p.X, p.Y, p.C);
    }

    Step([&] {
        // The window owns the region once it is set; otherwise it is ours to delete.
        win32::UniqueRegion region(::CreateRoundRectRgn(0, 0, W + 1, H + 1, 3, 3));
        HWND hwnd = SurfaceHwnd();
        // A region of a new size has the platform redraw what it changes, the form's
        // pixels at the cut-away corners included. One of the size already set changes
        // nothing, and a redraw for it would only repaint the window's frame and the form
        // behind it (under Wine more than half of a repaint's time).
        const bool reshaped = m_RegionSize.cx != W || m_RegionSize.cy != H;
        if (region && hwnd && ::SetWindowRgn(hwnd, region.get(), reshaped)) {
            (void)region.release();
            m_RegionSize = SIZE{W, H};
        }
        // The new picture is asked for whole either way: the paint comes later, from the
        // message loop, so it shows the caption and focus rectangle drawn below as well.
        if (hwnd) ::InvalidateRect(hwnd, nullptr, FALSE);
    });

    m_bNoRedraw = true;
    const RECT caption{3, 3, W - 3, H - 3};
    Step([&] {
        if (highContrast) {
            const int index = !m_bEnabled                              ? COLOR_GRAYTEXT
                              : (s == STATE_HOT || s == STATE_PRESSED) ? COLOR_HIGHLIGHTTEXT
                                                                       : COLOR_BTNTEXT;
            UserControl::SetForeColor(SYSTEM_COLOUR | static_cast<uint32_t>(index));
        } else {
            UserControl::SetForeColor(m_bEnabled ? static_cast<uint32_t>(m_lForeColor) : CAPTION_DISABLED);
        }
    });
    {
        // Unicode, so the captions read the same on every system locale. "&" underlines
        // the access key and "&&" draws one "&".
        RECT r = caption;
        ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextW(dc, m_sCaption.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    if (m_bFocused && m_bFocusRect && s > STATE_NORMAL) {
        Step([&] {
            UserControl::SetForeColor(FOCUS_RECT_TEXT);
            ::DrawFocusRect(dc, &caption);
        });
    }
    m_bNoRedraw = false;
}

}  // namespace xpbutton
