// XPButton2 and its form's activation, taken by another real window and given back:
// FormActivate, looks restored, presses cancelled; mouse leave on a disabled control and
// on the default button; and a control that never saw its form activated.
#include "tests/win/input/input_fixture.h"

namespace dorvane::test {
namespace {

using namespace input_testing;

using namespace xpbutton;
using testing_support::PumpUntil;

using Activation = InputTest;

TEST_F(Activation, FormActivateReportsOneAndZero) {
    other_.Activate();
    ASSERT_TRUE(PumpUntil([&] { return !ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Log->Activations, (std::vector<int32_t>{0}));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    form_->Activate();
    ASSERT_TRUE(PumpUntil([&] { return ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Log->Activations, (std::vector<int32_t>{0, 1}));

    // On a form that is not an MDI child only WM_ACTIVATE counts (sent to the form's own
    // procedure to tell the two apart).
    ok_.Log->Clear();
    ::SendMessageW(form_->Hwnd(), WM_NCACTIVATE, FALSE, 0);
    EXPECT_TRUE(ok_.Log->Activations.empty());
    EXPECT_TRUE(ok_.Flags().FormActive);
    ::SendMessageW(form_->Hwnd(), WM_NCACTIVATE, TRUE, 0);
}

TEST_F(Activation, ActivationRestoresTheHotAndTheDefaultLook) {
    // The pointer over the control while its form is inactive: no hot look until the
    // form is active again.
    other_.Activate();
    ASSERT_TRUE(PumpUntil([&] { return !ok_.Flags().FormActive; }, 2s));
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    EXPECT_TRUE(ok_.Flags().MouseOver);
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    EXPECT_TRUE(ok_.Log->Moves.empty());
    form_->Activate();
    ASSERT_TRUE(PumpUntil([&] { return ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_HOT));

    // The default button, pointer outside: normal while inactive, focused look back on
    // activation.
    ASSERT_TRUE(PointerOff(*form_, ok_));
    ASSERT_FALSE(ok_.Site->SetDisplayAsDefault(true).has_value());
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    other_.Activate();
    ASSERT_TRUE(PumpUntil([&] { return !ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    form_->Activate();
    ASSERT_TRUE(PumpUntil([&] { return ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_FOCUSED));
}

TEST_F(Activation, DeactivationDuringAMousePressCancelsIt) {
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    ASSERT_TRUE(LeftDown(ok_));
    ASSERT_EQ(ok_.Flags().State, STATE_PRESSED);
    // The form hears of its deactivation before the control loses the focus, so what
    // FormActivate 0 sees is the deactivation's own doing.
    std::vector<XPButton2::Flags> atDeactivation;
    ok_.Button().Events.FormActivate = [&](int32_t& state) {
        if (state == 0) atDeactivation.push_back(ok_.Flags());
    };
    other_.Activate();
    ASSERT_TRUE(PumpUntil([&] { return !ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_NORMAL));
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_FALSE(ok_.Flags().MouseDown);
    ASSERT_EQ(atDeactivation.size(), 1u);
    EXPECT_TRUE(atDeactivation[0].Focused);
    EXPECT_FALSE(atDeactivation[0].Pressed);
    EXPECT_FALSE(atDeactivation[0].MouseDown);
    EXPECT_EQ(atDeactivation[0].State, STATE_NORMAL);
    // The release still reaches the control (the pointer is over it), and clicks nothing.
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    form_->Activate();
    ASSERT_TRUE(PumpUntil([&] { return ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Log->Clicks, 0);
}

TEST_F(Activation, DeactivationDuringASpacePressCancelsIt) {
    ::SetFocus(ok_.Hwnd());
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    ASSERT_EQ(ok_.Flags().State, STATE_PRESSED);
    std::vector<XPButton2::Flags> atDeactivation;
    ok_.Button().Events.FormActivate = [&](int32_t& state) {
        if (state == 0) atDeactivation.push_back(ok_.Flags());
    };
    MessageSpy otherSpy(other_.Hwnd());
    other_.Activate();
    ASSERT_TRUE(PumpUntil([&] { return !ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    EXPECT_FALSE(ok_.Flags().SpaceDown);
    EXPECT_FALSE(ok_.Flags().Pressed);
    ASSERT_EQ(atDeactivation.size(), 1u);
    EXPECT_FALSE(atDeactivation[0].SpaceDown);
    EXPECT_FALSE(atDeactivation[0].Pressed);
    // The release goes to the window that now has the focus.
    ASSERT_TRUE(KeyUp(otherSpy, VK_SPACE));
    EXPECT_EQ(ok_.Log->Clicks, 0);
}

TEST_F(Activation, MouseLeavingADisabledControlChangesOnlyMouseOver) {
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    ASSERT_EQ(ok_.Flags().State, STATE_HOT);
    ok_.Button().SetEnabled(false);
    ASSERT_EQ(ok_.Flags().State, STATE_DISABLED);
    const auto before = ok_.Flags();
    ASSERT_TRUE(before.MouseOver);
    Mark(*ok_.Site);
    ASSERT_TRUE(PointerOff(*form_, ok_));
    const auto after = ok_.Flags();
    EXPECT_FALSE(after.MouseOver);
    EXPECT_EQ(after.State, STATE_DISABLED);
    EXPECT_EQ(after.Focused, before.Focused);
    EXPECT_EQ(after.Pressed, before.Pressed);
    EXPECT_EQ(after.FormActive, before.FormActive);
    EXPECT_EQ(after.Default, before.Default);
    EXPECT_FALSE(Redrawn(*ok_.Site));
    EXPECT_GE(ok_.Spy->Count(0x2A3 /* WM_MOUSELEAVE */), 1);
}

TEST_F(Activation, DefaultButtonShowsFocusedWhenThePointerLeaves) {
    ASSERT_FALSE(ok_.Site->SetDisplayAsDefault(true).has_value());
    ASSERT_EQ(ok_.Flags().State, STATE_FOCUSED);
    ASSERT_FALSE(ok_.Flags().Focused);
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    ASSERT_TRUE(PointerOff(*form_, ok_));
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_FOCUSED));
    EXPECT_FALSE(ok_.Flags().Focused);
}

// The form as an MDI child: the control watches WM_NCACTIVATE instead of WM_ACTIVATE.
TEST(MdiChildActivation, NonClientActivationReportsOneAndZero) {
    ParkCursor();
    OtherWindow other;
    testing_support::TestForm form(400, 300, /*mdiChild=*/true);
    Probe ok = AddProbe(form, L"XPButton21", L"&OK");
    ASSERT_NE(ok.Button().Hooks().FindHook(form.Hwnd(), false), -1);
    ASSERT_TRUE(ActivateAgain(form, other, {&ok}));
    EXPECT_EQ(ok.Log->Activations, (std::vector<int32_t>{0, 1}));
    other.Activate();
    ASSERT_TRUE(PumpUntil([&] { return !ok.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok.Log->Activations, (std::vector<int32_t>{0, 1, 0}));

    // Which message it is, told apart by sending each to the form's own procedure: the
    // non-client one counts, WM_ACTIVATE does not.
    ok.Log->Clear();
    ::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(ok.Log->Activations.empty());
    ::SendMessageW(form.Hwnd(), WM_NCACTIVATE, TRUE, 0);
    EXPECT_EQ(ok.Log->Activations, (std::vector<int32_t>{1}));
    EXPECT_TRUE(ok.Flags().FormActive);
}

// The Click handler shows a real message box: it takes the activation from the form while
// the handler runs, and gives it back when it closes.
struct BoxWatch {
    const Probe* Button = nullptr;
    bool Seen = false;
    XPButton2::Flags AtBox{};
    std::vector<int32_t> ActivationsAtBox;
    int Ticks = 0;
};
BoxWatch g_box;

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam) {
    wchar_t cls[16] = {};
    ::GetClassNameW(hwnd, cls, 16);
    if (std::wstring(cls) == L"#32770" && ::IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(lParam) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK CloseBoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindBox, reinterpret_cast<LPARAM>(&box));
    ++g_box.Ticks;
    // Closed once it is the active window, or after about two seconds whatever it is.
    if (box && (::GetActiveWindow() == box || g_box.Ticks > 100)) {
        g_box.Seen = ::GetActiveWindow() == box;
        g_box.AtBox = g_box.Button->Flags();
        g_box.ActivationsAtBox = g_box.Button->Log->Activations;
        ::KillTimer(nullptr, id);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

TEST_F(Activation, MessageBoxFromClickDeactivatesAndGivesItBack) {
    g_box = BoxWatch{};
    g_box.Button = &ok_;
    int clicks = 0;
    ok_.Button().Events.Click = [&] {
        ++clicks;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &CloseBoxTimer);
        ASSERT_NE(timer, 0u);
        ::MessageBoxW(form_->Hwnd(), L"Click", L"Dorvane", MB_OK);
    };
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    ASSERT_TRUE(LeftDown(ok_));
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(clicks, 1);
    ASSERT_TRUE(g_box.Seen);
    EXPECT_FALSE(g_box.AtBox.FormActive);
    EXPECT_FALSE(g_box.AtBox.Pressed);
    EXPECT_FALSE(g_box.AtBox.MouseDown);
    EXPECT_EQ(g_box.AtBox.State, STATE_NORMAL);
    EXPECT_EQ(g_box.ActivationsAtBox, (std::vector<int32_t>{0}));
    ASSERT_TRUE(PumpUntil([&] { return ok_.Flags().FormActive; }, 2s));
    EXPECT_EQ(ok_.Log->Activations, (std::vector<int32_t>{0, 1}));
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_FALSE(ok_.Flags().MouseDown);
}

// A button loaded while its form is already active, and never re-activated: it hooked
// the form after the activation, so it does not know the form is active.
TEST(BeforeFirstActivation, HoverAndReleaseDoNothingWhileKeysClick) {
    ParkCursor();
    testing_support::TestForm form;
    form.Activate();
    ASSERT_TRUE(PumpUntil([&] { return ::GetActiveWindow() == form.Hwnd(); }, 2s));
    Probe ok = AddProbe(form, L"XPButton21", L"&OK");
    ASSERT_NE(ok.Button().Hooks().FindHook(form.Hwnd(), false), -1);
    ASSERT_EQ(ok.Flags().State, STATE_NORMAL);

    Mark(*ok.Site);
    ASSERT_TRUE(PointerTo(ok, 20, 10));
    ASSERT_TRUE(PointerTo(ok, 30, 12));
    EXPECT_TRUE(ok.Flags().MouseOver);
    EXPECT_FALSE(ok.Flags().FormActive);
    EXPECT_FALSE(Redrawn(*ok.Site));
    EXPECT_EQ(ok.Flags().State, STATE_NORMAL);
    EXPECT_TRUE(ok.Log->Moves.empty());

    ASSERT_TRUE(LeftDown(ok));
    EXPECT_EQ(::GetFocus(), ok.Hwnd());
    Mark(*ok.Site);
    ASSERT_TRUE(LeftUp(ok));
    EXPECT_EQ(ok.Log->Clicks, 0);
    EXPECT_FALSE(Redrawn(*ok.Site));
    EXPECT_FALSE(ok.Flags().Pressed);

    ASSERT_TRUE(KeyDown(*ok.Spy, VK_RETURN));
    ASSERT_TRUE(KeyUp(*ok.Spy, VK_RETURN));
    EXPECT_EQ(ok.Log->Clicks, 1);
    ASSERT_TRUE(KeyDown(*ok.Spy, VK_SPACE));
    ASSERT_TRUE(KeyUp(*ok.Spy, VK_SPACE));
    EXPECT_EQ(ok.Log->Clicks, 2);
    SendKeyInput('O', false);
    SendKeyInput('O', true);
    EXPECT_TRUE(PumpUntil([&] { return ok.Log->Clicks == 3; }, 2s));
    EXPECT_FALSE(ok.Flags().FormActive);
    EXPECT_TRUE(ok.Log->Activations.empty());
    ParkCursor();
}

}  // namespace
}  // namespace dorvane::test
