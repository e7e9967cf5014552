// When and how the button repaints: the redraw gate, whole repaints, states out of
// range, the minimum size, and what the screen shows of the picture.
#include "win32/win_handles.h"
#include "tests/win/render/render_support.h"

namespace dorvane::test {
namespace {

using Repaint = ButtonTest;

// Turns the redraw gate on the way the control itself does: a size under the minimum
// makes the resize handler correct it and leave drawing off.
void ForceNoRedraw(host::ControlSite& site) { site.SetHeight(60); }

TEST_F(Repaint, NothingIsDrawnOrRememberedWhileNoRedrawIsSet) {
    Place(105, 25, L"OK");
    Button().DrawButton(1);
    ForceNoRedraw(Site());
    ASSERT_TRUE(Button().GetFlags().NoRedraw);
    const Snapshot before = TakePicture(Site());
    for (int state : {3, 4, 0, 2}) {
        Button().DrawButton(state);
        EXPECT_EQ(Button().GetFlags().State, 1) << "state " << state << " was recorded";
        EXPECT_TRUE(TakePicture(Site()) == before) << "state " << state << " drew";
    }
    // Assigning Enabled opens the gate again.
    Button().SetEnabled(true);
    EXPECT_FALSE(Button().GetFlags().NoRedraw);
    Button().DrawButton(3);
    EXPECT_EQ(Button().GetFlags().State, 3);
    EXPECT_FALSE(TakePicture(Site()) == before);
}

TEST_F(Repaint, RepeatingAStateRepaintsTheWholePictureIdentically) {
    Place(97, 33, L"OK");
    for (int state = 0; state < xpbutton::kLookCount; ++state) {
        Button().DrawButton(state);
        const Snapshot first = TakePicture(Site());
        // Scribble over face, border and corner; the next repaint must cover all of it.
        HDC dc = Site().PictureDc();
        for (const POINT p : {POINT{0, 0}, POINT{1, 1}, POINT{40, 10}, POINT{96, 20}, POINT{50, 32}})
            ::SetPixel(dc, p.x, p.y, 0xFF00FF);
        Button().DrawButton(state);
        EXPECT_TRUE(TakePicture(Site()) == first) << "state " << state;
    }
}

TEST_F(Repaint, StateOutOfRangeDrawsNoTableColoursAndEndsWithDrawingOn) {
    Place(105, 25);
    const uint32_t bg = Background();
    for (int state : {xpbutton::kLookCount, xpbutton::kLookCount + 2, -1}) {
        Button().DrawButton(1);
        Button().DrawButton(state);
        const auto flags = Button().GetFlags();
        EXPECT_EQ(flags.State, state);
        EXPECT_FALSE(flags.NoRedraw);
        const Snapshot pic = TakePicture(Site());
        int painted = 0;
        for (uint32_t c : pic.Pixels) painted += c != bg;
        EXPECT_EQ(painted, 0) << "state " << state << " left " << painted << " pixels painted";
    }
    // The caption does not come from the colour table and is still drawn.
    Button().SetCaption(L"OK");
    Button().DrawButton(9);
    int ink = 0;
    for (uint32_t c : TakePicture(Site()).Pixels) ink += c != bg;
    EXPECT_GT(ink, 0);
}

using ResizeHandler = ButtonTest;

TEST_F(ResizeHandler, RaisesSizesUnderOneHundredTwipsAndLeavesDrawingOff) {
    Place(105, 25);
    Site().SetHeight(60);
    EXPECT_GE(Site().Height(), 100);
    EXPECT_EQ(Site().Width(), 105 * 15);
    EXPECT_TRUE(Button().GetFlags().NoRedraw);

    Place(105, 25);
    Site().SetWidth(60);
    EXPECT_GE(Site().Width(), 100);
    EXPECT_EQ(Site().Height(), 25 * 15);
    EXPECT_TRUE(Button().GetFlags().NoRedraw);

    // 6 pixels are 90 twips: still too small.
    Place(105, 25);
    Site().SetHeight(90);
    EXPECT_GE(Site().Height(), 100);
    EXPECT_TRUE(Button().GetFlags().NoRedraw);
}

TEST_F(ResizeHandler, LeavesLegalSizesAndRepaints) {
    Place(105, 25);
    Button().DrawButton(3);
    // 100 twips are 7 pixels at 96 dpi (read back as 105): left alone.
    Site().SetHeight(100);
    EXPECT_EQ(Site().Height(), 105);
    Site().SetWidth(100);
    EXPECT_EQ(Site().Width(), 105);
    EXPECT_FALSE(Button().GetFlags().NoRedraw);
    EXPECT_EQ(Button().GetFlags().State, 3);
    // The repaint is in the new size: the bottom border now lies on row 6.
    EXPECT_EQ(PicturePixel(3, 6), LookOf(3).Border);
    EXPECT_EQ(PicturePixel(6, 3), LookOf(3).Border);
}

class Screen : public ButtonTest {
protected:
    // Every pixel inside the window's region, on the screen against the picture.
    ::testing::AssertionResult ScreenShowsPicture() {
        testing_support::Pump(std::chrono::milliseconds(60));
        const Snapshot pic = TakePicture(Site());
        const Snapshot screen = TakeScreen(Site().Hwnd(), pic.W, pic.H);
        win32::UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
        const bool shaped = ::GetWindowRgn(Site().Hwnd(), region.get()) != ERROR;
        int differ = 0, first = -1;
        for (int y = 0; y < pic.H; ++y)
            for (int x = 0; x < pic.W; ++x) {
                if (shaped && !::PtInRegion(region.get(), x, y)) continue;
                if (pic.At(x, y) != screen.At(x, y)) {
                    if (first < 0) first = y * pic.W + x;
                    ++differ;
                }
            }
        if (differ == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << differ << " pixels differ, first at (" << first % pic.W << "," << first / pic.W << ") screen "
               << Hex(screen.Pixels[first]) << " picture " << Hex(pic.Pixels[first]);
    }
};

// Face, caption and focus rectangle all reach the screen, also after the window was
// covered and uncovered.
TEST_F(Screen, ShowsTheCompletePicture) {
    Place(105, 25, L"&OK");
    Form().Activate();
    ::SetFocus(Site().Hwnd());
    testing_support::Pump(std::chrono::milliseconds(20));
    ASSERT_TRUE(Button().GetFlags().Focused);
    for (int state = 0; state < xpbutton::kLookCount; ++state) {
        Button().DrawButton(state);
        EXPECT_TRUE(ScreenShowsPicture()) << "state " << state;
    }
    Button().DrawButton(3);
    ASSERT_TRUE(ScreenShowsPicture());
    // Sanity: the screen really shows a caption and the dotted rectangle.
    const Snapshot screen = TakeScreen(Site().Hwnd(), 105, 25);
    EXPECT_FALSE(CaptionInk(screen, 3, Background()).empty());

    RECT onScreen{};
    ::GetWindowRect(Site().Hwnd(), &onScreen);
    win32::UniqueWindow cover(::CreateWindowExW(
        WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE | SS_BLACKRECT, onScreen.left - 5,
        onScreen.top - 5, 120, 40, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_NE(cover.get(), nullptr);
    testing_support::Pump(std::chrono::milliseconds(60));
    cover.reset();
    EXPECT_TRUE(ScreenShowsPicture()) << "after being covered";

    // A repaint the platform asks for shows the same complete picture.
    ::InvalidateRect(Site().Hwnd(), nullptr, TRUE);
    ::UpdateWindow(Site().Hwnd());
    EXPECT_TRUE(ScreenShowsPicture()) << "after an invalidation";
}

// A button made smaller leaves the form's own pixels where its new corners are cut away,
// not the pixels it showed there at its old size.
TEST_F(Screen, CornersCutAwayBySmallerSizeShowTheForm) {
    Place(105, 25, L"&OK");
    Form().Activate();
    testing_support::Pump(std::chrono::milliseconds(20));
    ::SetWindowPos(Site().Hwnd(), nullptr, 0, 0, 89, 25, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(ScreenShowsPicture());
    const COLORREF form = testing_support::ScreenPixel(Form().Hwnd(), 300, 200);
    // The button stands at (10, 10) of the form: its new top-right and bottom-right corners.
    EXPECT_EQ(testing_support::ScreenPixel(Form().Hwnd(), 10 + 88, 10), form);
    EXPECT_EQ(testing_support::ScreenPixel(Form().Hwnd(), 10 + 88, 10 + 24), form);
}

}  // namespace
}  // namespace dorvane::test
