// XPButton2 under the real pointer: hovering, pressing, dragging out and back, right
// button and double clicks, the inclusive right and bottom edges, and SnapMouseTo.
#include "tests/win/input/input_fixture.h"

namespace dorvane::test {
namespace {

using namespace input_testing;

using namespace xpbutton;

using MouseInput = InputTest;

TEST_F(MouseInput, HoverShowsTheHotLookAndReportsEachMove) {
    ASSERT_EQ(ok.Flags().State, STATE_NORMAL);
    ASSERT_TRUE(PointerTo(ok, 10, 5));
    EXPECT_TRUE(ok.Flags().MouseOver);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_HOT));
    ASSERT_FALSE(ok.Log->Moves.empty());
    const MoveArgs first = ok.Log->Moves.back();
    EXPECT_EQ(first.Button, 0);
    EXPECT_EQ(first.Shift, 0);
    EXPECT_EQ(first.X, 10.0f);
    EXPECT_EQ(first.y, 5.0f);

    // Moving within the control reports the move but does not repaint the same look.
    Mark(*ok.Site);
    const size_t moves = ok.Log->Moves.size();
    ASSERT_TRUE(PointerTo(ok, 40, 12));
    EXPECT_GT(ok.Log->Moves.size(), moves);
    EXPECT_EQ(ok.Log->Moves.back().X, 40.0f);
    EXPECT_EQ(ok.Log->Moves.back().y, 12.0f);
    EXPECT_FALSE(Redrawn(*ok.Site));

    // The modifier mask and the held buttons come through as received.
    SendKeyInput(VK_SHIFT, false);
    ASSERT_TRUE(PointerTo(ok, 50, 20));
    EXPECT_EQ(ok.Log->Moves.back().Shift, host::vbShiftMask);
    SendKeyInput(VK_SHIFT, true);
    ASSERT_TRUE(LeftDown(ok));
    ASSERT_TRUE(PointerTo(ok, 52, 21));
    EXPECT_EQ(ok.Log->Moves.back().Button, host::vbLeftButton);
    EXPECT_EQ(ok.Log->Moves.back().Shift, 0);
    ASSERT_TRUE(LeftUp(ok));
}

TEST_F(MouseInput, LeavingShowsNormalOrFocusedByTheFocus) {
    ASSERT_TRUE(PointerTo(ok, 10, 5));
    ASSERT_EQ(ok.Flags().State, STATE_HOT);
    ASSERT_TRUE(PointerOff(*form, ok));
    EXPECT_EQ(ok.Flags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_NORMAL));

    ::SetFocus(ok.Hwnd());
    ASSERT_TRUE(ok.Flags().Focused);
    EXPECT_EQ(ok.Flags().State, STATE_FOCUSED);
    ASSERT_TRUE(PointerTo(ok, 10, 5));
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
    ASSERT_TRUE(PointerOff(*form, ok));
    EXPECT_EQ(ok.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_FOCUSED));
}

TEST_F(MouseInput, PressAndReleaseInsideClicksOnce) {
    ASSERT_TRUE(PointerTo(ok, 30, 10));
    ASSERT_TRUE(LeftDown(ok));
    EXPECT_EQ(::GetFocus(), ok.Hwnd());
    EXPECT_EQ(ok.Flags().State, STATE_PRESSED);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_PRESSED));
    EXPECT_TRUE(ok.Flags().Pressed);
    EXPECT_TRUE(ok.Flags().MouseDown);
    EXPECT_EQ(ok.Log->Clicks, 0);
    ASSERT_TRUE(LeftUp(ok));
    EXPECT_EQ(ok.Log->Clicks, 1);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
    EXPECT_FALSE(ok.Flags().Pressed);
    EXPECT_FALSE(ok.Flags().MouseDown);
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(MouseInput, DragOutsideAndReleaseGivesNoClick) {
    ASSERT_TRUE(PointerTo(ok, 30, 10));
    ASSERT_TRUE(LeftDown(ok));
    // The press captured the pointer, so the control still hears of it outside.
    ASSERT_TRUE(PointerTo(ok, -40, 10));
    EXPECT_FALSE(ok.Flags().MouseOver);
    EXPECT_TRUE(ok.Flags().Pressed);  // the press stays armed
    EXPECT_EQ(ok.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_FOCUSED));

    Mark(*ok.Site);
    ASSERT_TRUE(LeftUp(ok));
    EXPECT_EQ(ok.Log->Clicks, 0);
    EXPECT_TRUE(Redrawn(*ok.Site));  // drawn again on release, not merely left as it was
    EXPECT_EQ(ok.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_FOCUSED));
    EXPECT_FALSE(ok.Flags().Pressed);
    EXPECT_FALSE(ok.Flags().MouseDown);
}

TEST_F(MouseInput, DragOutAndBackInsideClicks) {
    ASSERT_TRUE(PointerTo(ok, 30, 10));
    ASSERT_TRUE(LeftDown(ok));
    ASSERT_TRUE(PointerTo(ok, 30, 60));
    EXPECT_EQ(ok.Flags().State, STATE_FOCUSED);
    ASSERT_TRUE(PointerTo(ok, 35, 12));
    EXPECT_TRUE(ok.Flags().MouseOver);
    EXPECT_EQ(ok.Flags().State, STATE_PRESSED);
    ASSERT_TRUE(LeftUp(ok));
    EXPECT_EQ(ok.Log->Clicks, 1);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
}

TEST_F(MouseInput, RightButtonThenDoubleClicks) {
    ASSERT_TRUE(PointerTo(ok, 30, 10));
    const auto before = ok.Flags();
    const HWND focusBefore = ::GetFocus();
    ASSERT_TRUE(RightDown(ok));
    ASSERT_TRUE(RightUp(ok));
    auto after = ok.Flags();
    EXPECT_EQ(after.LastButton, host::vbRightButton);
    EXPECT_EQ(after.State, before.State);
    EXPECT_EQ(after.Focused, before.Focused);
    EXPECT_EQ(after.Pressed, before.Pressed);
    EXPECT_EQ(after.MouseDown, before.MouseDown);
    EXPECT_EQ(::GetFocus(), focusBefore);

    // A second right press at once makes it a right double click: that press is reported
    // as the double click alone, so the last button stays the right one and no DblClick
    // comes.
    ASSERT_TRUE(SendMouse(ok, MOUSEEVENTF_RIGHTDOWN, WM_RBUTTONDBLCLK));
    ASSERT_TRUE(RightUp(ok));
    EXPECT_EQ(ok.Log->DblClicks, 0);
    EXPECT_EQ(ok.Log->Clicks, 0);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);

    // A left double click: one Click from the first release, one DblClick, and the
    // release after the double click arms nothing.
    ASSERT_TRUE(LeftDown(ok));
    ASSERT_TRUE(LeftUp(ok));
    ASSERT_TRUE(SendMouse(ok, MOUSEEVENTF_LEFTDOWN, WM_LBUTTONDBLCLK));
    EXPECT_EQ(ok.Log->DblClicks, 1);
    EXPECT_EQ(ok.Flags().State, STATE_PRESSED);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_PRESSED));
    ASSERT_TRUE(LeftUp(ok));
    EXPECT_EQ(ok.Log->Clicks, 1);
    EXPECT_EQ(ok.Log->DblClicks, 1);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
}

TEST_F(MouseInput, PointerCrossingToAnAdjacentButtonMovesTheHotLook) {
    Probe next = AddProbe(*form, L"XPButton22", L"&Apply", RECT{102, 20, 184, 47});
    ASSERT_TRUE(ActivateAgain(*form, other, {&ok, &next}));
    ASSERT_TRUE(PointerTo(ok, 70, 10));
    ASSERT_EQ(ok.Flags().State, STATE_HOT);
    // One step right is the other button's first column.
    ASSERT_TRUE(PointerTo(next, 2, 10));
    EXPECT_EQ(next.Flags().State, STATE_HOT);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !ok.Flags().MouseOver; }, 3s));
    EXPECT_EQ(ok.Flags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*ok.Site), ExpectedFace(STATE_NORMAL));
    ASSERT_TRUE(PointerTo(ok, 80, 10));
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !next.Flags().MouseOver; }, 3s));
    EXPECT_EQ(next.Flags().State, STATE_NORMAL);
}

TEST_F(MouseInput, PressOnAnInactiveFormActivatesItAndClicks) {
    other.Activate();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !ok.Flags().FormActive; }, 2s));
    ASSERT_TRUE(PointerTo(ok, 30, 10));
    ASSERT_TRUE(LeftDown(ok));
    EXPECT_TRUE(ok.Flags().FormActive);
    EXPECT_EQ(::GetActiveWindow(), form->Hwnd());
    EXPECT_EQ(ok.Flags().State, STATE_PRESSED);
    ASSERT_TRUE(LeftUp(ok));
    EXPECT_EQ(ok.Log->Clicks, 1);
    EXPECT_EQ(ok.Log->Activations, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
}

TEST_F(MouseInput, RightAndBottomEdgesCountAsInside) {
    // A real pointer is never reported at x = width or y = height (the client area ends
    // one pixel before), so these positions go to the window procedure as the platform's
    // own WM_MOUSEMOVE, sent straight to the control's window.
    const int w = static_cast<int>(ok.Site->ScaleWidth());
    const int h = static_cast<int>(ok.Site->ScaleHeight());
    ::SendMessageW(ok.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w, h / 2));
    EXPECT_TRUE(ok.Flags().MouseOver);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
    ASSERT_FALSE(ok.Log->Moves.empty());
    EXPECT_EQ(ok.Log->Moves.back().X, static_cast<float>(w));

    ::SendMessageW(ok.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w + 1, h / 2));
    EXPECT_FALSE(ok.Flags().MouseOver);
    EXPECT_EQ(ok.Flags().State, STATE_NORMAL);

    ::SendMessageW(ok.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w / 2, h));
    EXPECT_TRUE(ok.Flags().MouseOver);
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
    EXPECT_EQ(ok.Log->Moves.back().y, static_cast<float>(h));

    ::SendMessageW(ok.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w / 2, h + 1));
    EXPECT_FALSE(ok.Flags().MouseOver);
    ::SendMessageW(ok.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
    EXPECT_TRUE(ok.Flags().MouseOver);
    ::SendMessageW(ok.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(-1, 0));
    EXPECT_FALSE(ok.Flags().MouseOver);
}

TEST_F(MouseInput, SnapMouseToPutsThePointerAtTheCentre) {
    // 82 x 27 pixels: the centre is 41 across and 13.5 down. The control is placed so that
    // its client origin is on an odd screen row: origin + 13.5 is then an even row plus a
    // half, which goes to that even row (rounding half away from zero would go below).
    POINT origin{0, 0};
    ::ClientToScreen(ok.Hwnd(), &origin);
    if (origin.y % 2 == 0) {
        ::SetWindowPos(ok.Hwnd(), nullptr, kFirstBounds.left, kFirstBounds.top + 1, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        origin = POINT{0, 0};
        ::ClientToScreen(ok.Hwnd(), &origin);
    }
    ASSERT_EQ(origin.y % 2, 1);
    ok.Button().SnapMouseTo();
    POINT p{};
    ASSERT_TRUE(::GetCursorPos(&p));
    EXPECT_EQ(p.x, origin.x + 41);
    EXPECT_EQ(p.y, origin.y + 13);
    // The control hears of the pointer there like of any other move.
    EXPECT_TRUE(testing_support::PumpUntil([&] { return ok.Flags().MouseOver; }, 2s));
    EXPECT_EQ(ok.Flags().State, STATE_HOT);
}

}  // namespace
}  // namespace dorvane::test
