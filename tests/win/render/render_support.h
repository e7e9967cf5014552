// Shared pieces of the drawing tests: the expected colours of every look, as the control's
// definition gives them (render_support.cpp; never taken from the control), the gradient
// rule, snapshots of a control's picture, and a fixture that places one button on a form.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/win/common/test_form.h"

namespace dorvane::test {

// The colours of one look (0x00BBGGRR).
struct Look {
    uint32_t Border, Light1, Light2, Shade1, Shade2, CornerEdge, CornerOuter, CornerInner, GlowTop, GlowBottom;
    bool Flat;          // states 0 and 4: one flat face, no lines or bands
    uint32_t FlatFace;  // only when Flat
};
Look LookOf(int state);  // state 0 .. xpbutton::kLookCount - 1

// The fixed colours of the definition: the gradient face's top and bottom rows, and the
// caption of a disabled button.
constexpr uint32_t kFaceTop = RGB(252, 252, 251);
constexpr uint32_t kFaceBottom = RGB(236, 235, 230);
constexpr uint32_t kDisabledCaption = RGB(161, 161, 146);

// Row y of a gradient over rows top..bottom from `top` to `bottom`: 32-bit float steps,
// rows counted from the bottom up, halves rounded to the even integer.
uint32_t GradientRow(uint32_t topColour, uint32_t bottomColour, int top, int bottom, int y);

// The colour the finished picture (without caption and focus rectangle) holds at (x, y)
// for a button of W x H pixels in `state`; `background` for the four extreme corners.
uint32_t ExpectedPixel(int W, int H, int state, int x, int y, uint32_t background);

// The button's cleared background: the button-face system colour.
uint32_t Background();

// A copy of every pixel of a picture, row by row.
struct Snapshot {
    int W = 0, H = 0;
    std::vector<COLORREF> Pixels;
    COLORREF At(int x, int y) const { return Pixels[static_cast<size_t>(y) * W + x]; }
    bool operator==(const Snapshot&) const = default;
};
Snapshot TakePicture(const host::ControlSite& site);
Snapshot TakeScreen(HWND hwnd, int W, int H);

// Pixels inside the caption rectangle (3, 3, W-3, H-3) that differ from the plain look.
std::vector<POINT> CaptionInk(const Snapshot& picture, int state, uint32_t background);

// A form with one button, placed from the stored design with the given caption.
class ButtonTest : public ::testing::Test {
protected:
    // Client size W x H. Heights below 7 pixels cannot be asked of the control directly
    // (its resize handler raises anything under 100 twips), so the window then gets a
    // one-pixel border: the outer size stays legal while the client area is W x H.
    host::ControlSite& Place(int W, int H, const std::wstring& caption = L"");
    xpbutton::XPButton2& Button() { return testing_support::TestForm::ButtonOf(*site_); }
    host::ControlSite& Site() { return *site_; }
    testing_support::TestForm& Form() { return *form_; }
    uint32_t PicturePixel(int x, int y) const { return testing_support::PicturePixel(*site_, x, y); }

    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<testing_support::TestForm> form_;
    host::ControlSite* site_ = nullptr;
};

// Describes a pixel for failure messages.
std::string Hex(uint32_t colour);

}  // namespace dorvane::test
