// XPButton2 under the real pointer: hovering, pressing, dragging out and back, right
// button and double clicks, the inclusive right and bottom edges, and SnapMouseTo.
#include "tests/win/input/input_fixture.h"

namespace dorvane::test {
namespace {

using namespace input_testing;

using namespace xpbutton;

using MouseInput = InputTest;

TEST_F(MouseInput, HoverShowsTheHotLookAndReportsEachMove) {
    ASSERT_EQ(ok_.Flags().State, STATE_NORMAL);
    ASSERT_TRUE(PointerTo(ok_, 10, 5));
    EXPECT_TRUE(ok_.Flags().MouseOver);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_HOT));
    ASSERT_FALSE(ok_.Log->Moves.empty());
    const MoveArgs first = ok_.Log->Moves.back();
    EXPECT_EQ(first.Button, 0);
    EXPECT_EQ(first.Shift, 0);
    EXPECT_EQ(first.X, 10.0f);
    EXPECT_EQ(first.Y, 5.0f);

    // Moving within the control reports the move but does not repaint the same look.
    Mark(*ok_.Site);
    const size_t moves = ok_.Log->Moves.size();
    ASSERT_TRUE(PointerTo(ok_, 40, 12));
    EXPECT_GT(ok_.Log->Moves.size(), moves);
    EXPECT_EQ(ok_.Log->Moves.back().X, 40.0f);
    EXPECT_EQ(ok_.Log->Moves.back().Y, 12.0f);
    EXPECT_FALSE(Redrawn(*ok_.Site));

    // The modifier mask and the held buttons come through as received.
    SendKeyInput(VK_SHIFT, false);
    ASSERT_TRUE(PointerTo(ok_, 50, 20));
    EXPECT_EQ(ok_.Log->Moves.back().Shift, host::vbShiftMask);
    SendKeyInput(VK_SHIFT, true);
    ASSERT_TRUE(LeftDown(ok_));
    ASSERT_TRUE(PointerTo(ok_, 52, 21));
    EXPECT_EQ(ok_.Log->Moves.back().Button, host::vbLeftButton);
    EXPECT_EQ(ok_.Log->Moves.back().Shift, 0);
    ASSERT_TRUE(LeftUp(ok_));
}

TEST_F(MouseInput, LeavingShowsNormalOrFocusedByTheFocus) {
    ASSERT_TRUE(PointerTo(ok_, 10, 5));
    ASSERT_EQ(ok_.Flags().State, STATE_HOT);
    ASSERT_TRUE(PointerOff(*form_, ok_));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_NORMAL));

    ::SetFocus(ok_.Hwnd());
    ASSERT_TRUE(ok_.Flags().Focused);
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    ASSERT_TRUE(PointerTo(ok_, 10, 5));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    ASSERT_TRUE(PointerOff(*form_, ok_));
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_FOCUSED));
}

TEST_F(MouseInput, PressAndReleaseInsideClicksOnce) {
    ASSERT_TRUE(PointerTo(ok_, 30, 10));
    ASSERT_TRUE(LeftDown(ok_));
    EXPECT_EQ(::GetFocus(), ok_.Hwnd());
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_PRESSED));
    EXPECT_TRUE(ok_.Flags().Pressed);
    EXPECT_TRUE(ok_.Flags().MouseDown);
    EXPECT_EQ(ok_.Log->Clicks, 0);
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 1);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_FALSE(ok_.Flags().MouseDown);
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(MouseInput, DragOutsideAndReleaseGivesNoClick) {
    ASSERT_TRUE(PointerTo(ok_, 30, 10));
    ASSERT_TRUE(LeftDown(ok_));
    // The press captured the pointer, so the control still hears of it outside.
    ASSERT_TRUE(PointerTo(ok_, -40, 10));
    EXPECT_FALSE(ok_.Flags().MouseOver);
    EXPECT_TRUE(ok_.Flags().Pressed);  // the press stays armed
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_FOCUSED));

    Mark(*ok_.Site);
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_TRUE(Redrawn(*ok_.Site));  // drawn again on release, not merely left as it was
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_FOCUSED));
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_FALSE(ok_.Flags().MouseDown);
}

TEST_F(MouseInput, DragOutAndBackInsideClicks) {
    ASSERT_TRUE(PointerTo(ok_, 30, 10));
    ASSERT_TRUE(LeftDown(ok_));
    ASSERT_TRUE(PointerTo(ok_, 30, 60));
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    ASSERT_TRUE(PointerTo(ok_, 35, 12));
    EXPECT_TRUE(ok_.Flags().MouseOver);
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 1);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
}

TEST_F(MouseInput, RightButtonThenDoubleClicks) {
    ASSERT_TRUE(PointerTo(ok_, 30, 10));
    const auto before = ok_.Flags();
    const HWND focusBefore = ::GetFocus();
    ASSERT_TRUE(RightDown(ok_));
    ASSERT_TRUE(RightUp(ok_));
    auto after = ok_.Flags();
    EXPECT_EQ(after.LastButton, host::vbRightButton);
    EXPECT_EQ(after.State, before.State);
    EXPECT_EQ(after.Focused, before.Focused);
    EXPECT_EQ(after.Pressed, before.Pressed);
    EXPECT_EQ(after.MouseDown, before.MouseDown);
    EXPECT_EQ(::GetFocus(), focusBefore);

    // A second right press at once makes it a right double click: that press is reported
    // as the double click alone, so the last button stays the right one and no DblClick
    // comes.
    ASSERT_TRUE(SendMouse(ok_, MOUSEEVENTF_RIGHTDOWN, WM_RBUTTONDBLCLK));
    ASSERT_TRUE(RightUp(ok_));
    EXPECT_EQ(ok_.Log->DblClicks, 0);
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);

    // A left double click: one Click from the first release, one DblClick, and the
    // release after the double click arms nothing.
    ASSERT_TRUE(LeftDown(ok_));
    ASSERT_TRUE(LeftUp(ok_));
    ASSERT_TRUE(SendMouse(ok_, MOUSEEVENTF_LEFTDOWN, WM_LBUTTONDBLCLK));
    EXPECT_EQ(ok_.Log->DblClicks, 1);
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_PRESSED));
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 1);
    EXPECT_EQ(ok_.Log->DblClicks, 1);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
}

TEST_F(MouseInput, PointerCrossingToAnAdjacentButtonMovesTheHotLook) {
    Probe next = AddProbe(*form_, L"XPButton22", L"&Apply", RECT{102, 20, 184, 47});
    ASSERT_TRUE(ActivateAgain(*form_, other_, {&ok_, &next}));
    ASSERT_TRUE(PointerTo(ok_, 70, 10));
    ASSERT_EQ(ok_.Flags().State, STATE_HOT);
    // One step right is the other button's first column.
    ASSERT_TRUE(PointerTo(next, 2, 10));
    EXPECT_EQ(next.Flags().State, STATE_HOT);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !ok_.Flags().MouseOver; }, 3s));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_NORMAL));
    ASSERT_TRUE(PointerTo(ok_, 80, 10));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !next.Flags().MouseOver; }, 3s));
    EXPECT_EQ(next.Flags().State, STATE_NORMAL);
}

TEST_F(MouseInput, PressOnAnInactiveFormActivatesItAndClicks) {
    other_.Activate();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !ok_.Flags().FormActive; }, 2s));
    ASSERT_TRUE(PointerTo(ok_, 30, 10));
    ASSERT_TRUE(LeftDown(ok_));
    EXPECT_TRUE(ok_.Flags().FormActive);
    EXPECT_EQ(::GetActiveWindow(), form_->Hwnd());
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 1);
    EXPECT_EQ(ok_.Log->Activations, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
}

TEST_F(MouseInput, RightAndBottomEdgesCountAsInside) {
    // A real pointer is never reported at x = width or y = height (the client area ends
    // one pixel before), so these positions go to the window procedure as the platform's
    // own WM_MOUSEMOVE, sent straight to the control's window.
    const int w = static_cast<int>(ok_.Site->ScaleWidth());
    const int h = static_cast<int>(ok_.Site->ScaleHeight());
    ::SendMessageW(ok_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w, h / 2));
    EXPECT_TRUE(ok_.Flags().MouseOver);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    ASSERT_FALSE(ok_.Log->Moves.empty());
    EXPECT_EQ(ok_.Log->Moves.back().X, static_cast<float>(w));

    ::SendMessageW(ok_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w + 1, h / 2));
    EXPECT_FALSE(ok_.Flags().MouseOver);
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);

    ::SendMessageW(ok_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w / 2, h));
    EXPECT_TRUE(ok_.Flags().MouseOver);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    EXPECT_EQ(ok_.Log->Moves.back().Y, static_cast<float>(h));

    ::SendMessageW(ok_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w / 2, h + 1));
    EXPECT_FALSE(ok_.Flags().MouseOver);
    ::SendMessageW(ok_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
    EXPECT_TRUE(ok_.Flags().MouseOver);
    ::SendMessageW(ok_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(-1, 0));
    EXPECT_FALSE(ok_.Flags().MouseOver);
}

TEST_F(MouseInput, SnapMouseToPutsThePointerAtTheCentre) {
    // 82 x 27 pixels: the centre is 41 across and 13.5 down. The control is placed so that
    // its client origin is on an odd screen row: origin + 13.5 is then an even row plus a
    // half, which goes to that even row (rounding half away from zero would go below).
    POINT origin{0, 0};
    ::ClientToScreen(ok_.Hwnd(), &origin);
    if (origin.y % 2 == 0) {
        ::SetWindowPos(ok_.Hwnd(), nullptr, kFirstBounds.left, kFirstBounds.top + 1, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        origin = POINT{0, 0};
        ::ClientToScreen(ok_.Hwnd(), &origin);
    }
    ASSERT_EQ(origin.y % 2, 1);
    ok_.Button().SnapMouseTo();
    POINT p{};
    ASSERT_TRUE(::GetCursorPos(&p));
    EXPECT_EQ(p.x, origin.x + 41);
    EXPECT_EQ(p.y, origin.y + 13);
    // The control hears of the pointer there like of any other move.
    EXPECT_TRUE(testing_support::PumpUntil([&] { return ok_.Flags().MouseOver; }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
}

}  // namespace
}  // namespace dorvane::test
