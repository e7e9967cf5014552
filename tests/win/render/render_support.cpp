#include "tests/win/render/render_support.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace dorvane::test {

namespace {

// The looks as the control's definition gives them, one row for each look in the order of
// its states, each colour as the (red, green, blue) triple the definition writes beside the
// stored value: so the table is read against the definition, not copied from the
// control's own (InitColors, which holds the stored values). 0: a colour the look never
// shows (the flat looks have no lines or bands).
// clang-format off
constexpr Look kLooks[] = {
    //  Border            Light1              Light2              Shade1              Shade2
    //  CornerEdge        CornerOuter         CornerInner         GlowTop             GlowBottom          Flat   FlatFace
    /* disabled */
    {RGB(201, 199, 186), 0,                  0,                  0,                  0,
     RGB(196, 177, 140), RGB(206, 199, 189), RGB(196, 177, 140), 0,                  0,                  true,  RGB(245, 244, 234)},
    /* normal */
    {RGB(0, 60, 116),    RGB(255, 255, 255), RGB(254, 254, 254), RGB(226, 223, 214), RGB(214, 208, 197),
     RGB(33, 85, 132),   RGB(123, 150, 173), RGB(82, 125, 165),  RGB(252, 252, 251), RGB(236, 235, 230), false, 0},
    /* focused or default */
    {RGB(0, 60, 116),    RGB(206, 231, 255), RGB(189, 215, 247), RGB(140, 174, 231), RGB(107, 130, 239),
     RGB(33, 85, 132),   RGB(123, 150, 173), RGB(82, 125, 165),  RGB(189, 211, 247), RGB(140, 174, 231), false, 0},
    /* hot */
    {RGB(0, 60, 116),    RGB(255, 243, 206), RGB(255, 219, 140), RGB(255, 178, 49),  RGB(230, 150, 0),
     RGB(33, 85, 132),   RGB(123, 150, 173), RGB(82, 125, 165),  RGB(225, 223, 156), RGB(255, 182, 48),  false, 0},
    /* pressed */
    {RGB(0, 60, 116),    0,                  0,                  0,                  0,
     RGB(33, 85, 132),   RGB(123, 150, 173), RGB(82, 125, 165),  0,                  0,                  true,  RGB(231, 227, 222)},
};
// clang-format on
static_assert(std::size(kLooks) == xpbutton::kLookCount, "an expected look for every look of the button");

}  // namespace

Look LookOf(int state) {
    if (state < 0 || state >= xpbutton::kLookCount) {
        ADD_FAILURE() << "no look for state " << state;
        return Look{};
    }
    return kLooks[state];
}

namespace {

// Round to nearest, ties to the even integer, written out rather than left to the
// floating-point environment.
int RoundHalfEven(float v) {
    const float f = std::floor(v);
    const float frac = v - f;
    int r = static_cast<int>(f);
    if (frac > 0.5f || (frac == 0.5f && (r % 2 != 0))) ++r;
    return r;
}

}  // namespace

uint32_t GradientRow(uint32_t topColour, uint32_t bottomColour, int top, int bottom, int y) {
    const int n = bottom - top;
    const int i = bottom - y;  // row `bottom` is step 0
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const float a = static_cast<float>((topColour >> shift) & 0xFF);
        const float b = static_cast<float>((bottomColour >> shift) & 0xFF);
        volatile float step = (a - b) / static_cast<float>(n);  // held as a 32-bit float
        volatile float scaled = static_cast<float>(i) * step;
        const float value = scaled + b;
        out |= static_cast<uint32_t>(RoundHalfEven(value)) << shift;
    }
    return out;
}

uint32_t ExpectedPixel(int W, int H, int state, int x, int y, uint32_t background) {
    const Look k = LookOf(state);
    // Columns: 0, 1, 2, middle, W-3, W-2, W-1 -> 0..6.
    const int col = x == 0 ? 0 : x == W - 1 ? 6 : x == W - 2 ? 5 : x == W - 3 ? 4 : x <= 2 ? x : 3;
    const uint32_t l1 = k.Flat ? k.FlatFace : k.Light1;
    const uint32_t l2 = k.Flat ? k.FlatFace : k.Light2;
    const uint32_t s1 = k.Flat ? k.FlatFace : k.Shade1;
    const uint32_t s2 = k.Flat ? k.FlatFace : k.Shade2;
    const uint32_t E = k.CornerEdge, O = k.CornerOuter, I = k.CornerInner, b = k.Border;
    // The bottom rows are drawn after the top ones, so they win where rows coincide
    // (heights 5 and 6).
    if (y == 0 || y == H - 1) {
        const uint32_t row[7] = {background, O, E, b, E, O, background};
        return row[col];
    }
    if (y == H - 2) {
        const uint32_t row[7] = {O, I, s2, s2, s2, I, O};
        return row[col];
    }
    if (y == H - 3) {
        const uint32_t row[7] = {E, s1, s1, s1, s1, s1, E};
        return row[col];
    }
    if (y == 1) {
        const uint32_t row[7] = {O, I, l1, l1, l1, I, O};
        return row[col];
    }
    if (y == 2) {
        const uint32_t row[7] = {E, l2, l2, l2, l2, l2, E};
        return row[col];
    }
    // Rows 3 .. H-4: border, side bands, face.
    if (col == 0 || col == 6) return b;
    if (k.Flat) return k.FlatFace;
    if (col == 3) return GradientRow(kFaceTop, kFaceBottom, 3, H - 3, y);
    return GradientRow(k.GlowTop, k.GlowBottom, 3, H - 2, y);
}

uint32_t Background() { return ::GetSysColor(COLOR_BTNFACE); }

Snapshot TakePicture(const host::ControlSite& site) {
    RECT rc{};
    ::GetClientRect(site.Hwnd(), &rc);
    Snapshot s;
    s.W = rc.right;
    s.H = rc.bottom;
    s.Pixels.reserve(static_cast<size_t>(s.W) * s.H);
    for (int y = 0; y < s.H; ++y)
        for (int x = 0; x < s.W; ++x) s.Pixels.push_back(testing_support::PicturePixel(site, x, y));
    return s;
}

Snapshot TakeScreen(HWND hwnd, int W, int H) {
    Snapshot s;
    s.W = W;
    s.H = H;
    win32::WindowDc dc(hwnd);
    s.Pixels.reserve(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) s.Pixels.push_back(::GetPixel(dc.get(), x, y));
    return s;
}

std::vector<POINT> CaptionInk(const Snapshot& picture, int state, uint32_t background) {
    std::vector<POINT> ink;
    for (int y = 3; y < picture.H - 3; ++y)
        for (int x = 3; x < picture.W - 3; ++x)
            if (picture.At(x, y) != ExpectedPixel(picture.W, picture.H, state, x, y, background))
                ink.push_back(POINT{x, y});
    return ink;
}

void ButtonTest::SetUp() { form_ = std::make_unique<testing_support::TestForm>(400, 300); }

void ButtonTest::TearDown() {
    site_ = nullptr;
    form_.reset();
}

host::ControlSite& ButtonTest::Place(int W, int H, const std::wstring& caption) {
    const bool bordered = H < 7;
    const int outerW = bordered ? W + 2 : W, outerH = bordered ? H + 2 : H;
    const host::PropertyBag bag = testing_support::ButtonBag(caption);
    const int index = static_cast<int>(form_->Container().Sites().size());
    host::Status status;
    site_ = &form_->AddButton(L"XPButton2" + std::to_wstring(index + 1), RECT{10, 10, 10 + outerW, 10 + outerH}, &bag,
                              true, &status);
    EXPECT_FALSE(status.has_value()) << "loading the button failed";
    if (bordered) {
        HWND h = site_->Hwnd();
        ::SetWindowLongPtrW(h, GWL_STYLE, ::GetWindowLongPtrW(h, GWL_STYLE) | WS_BORDER);
        ::SetWindowPos(h, nullptr, 0, 0, outerW, outerH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    RECT rc{};
    ::GetClientRect(site_->Hwnd(), &rc);
    EXPECT_EQ(rc.right, W);
    EXPECT_EQ(rc.bottom, H);
    EXPECT_FALSE(Button().GetFlags().NoRedraw) << "drawing should be on after loading";
    return *site_;
}

std::string Hex(uint32_t colour) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(colour));
    return buf;
}

}  // namespace dorvane::test
