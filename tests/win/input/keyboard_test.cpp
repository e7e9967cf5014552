// XPButton2 under real keys from SendInput: Enter and Space held, Space with the left button
// held, Space cancelled by the access key or a modal loop, arrow keys moving the focus with
// the user's modifiers left as the user leaves them, and access keys as the form's
// container routes them.
#include "tests/win/input/input_fixture.h"

#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

#include "host/control_site.h"

namespace dorvane::test {
namespace {

using namespace input_testing;

using namespace xpbutton;
using testing_support::PumpUntil;

using KeyboardInput = InputTest;

// The window menu's loop runs on the thread that opens it: this helper thread waits up to
// 3 s for the menu to show, then closes it with Esc twice (the popup, then menu mode).
class WindowMenuCloser {
public:
    WindowMenuCloser()
        : thread_([this] {
              for (int i = 0; i < 300 && !shown_; ++i, ::Sleep(10)) {
                  HWND menu = ::FindWindowW(L"#32768", nullptr);
                  shown_ = menu && ::IsWindowVisible(menu);
              }
              for (int i = 0; shown_ && i < 2; ++i, ::Sleep(100)) {
                  SendKeyInput(VK_ESCAPE, false);
                  SendKeyInput(VK_ESCAPE, true);
              }
          }) {}
    ~WindowMenuCloser() { Join(); }
    bool Shown() const { return shown_; }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::atomic<bool> shown_{false};
    std::thread thread_;  // last: it starts once shown_ exists
};

// Bit 30 of a key message: the key was already down (auto-repeat).
bool Repeated(LPARAM lParam) { return ((lParam >> 30) & 1) != 0; }

TEST_F(KeyboardInput, EnterHeldClicksOnEveryKeyDownWithoutPainting) {
    ::SetFocus(ok_.Hwnd());
    ASSERT_EQ(ok_.Flags().State, STATE_FOCUSED);
    Mark(*ok_.Site);
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_RETURN));
    EXPECT_FALSE(Repeated(ok_.Spy->LastKeyDown()));
    EXPECT_EQ(ok_.Log->Clicks, 1);
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_RETURN));
    EXPECT_TRUE(Repeated(ok_.Spy->LastKeyDown()));
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_RETURN));
    EXPECT_TRUE(Repeated(ok_.Spy->LastKeyDown()));
    EXPECT_EQ(ok_.Log->Clicks, 3);
    ASSERT_TRUE(KeyUp(*ok_.Spy, VK_RETURN));
    EXPECT_EQ(ok_.Log->Clicks, 3);
    EXPECT_FALSE(Redrawn(*ok_.Site));
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
}

TEST_F(KeyboardInput, SpaceHeldClicksOnceOnRelease) {
    ::SetFocus(ok_.Hwnd());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    EXPECT_TRUE(Repeated(ok_.Spy->LastKeyDown()));
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_TRUE(ok_.Flags().SpaceDown);
    EXPECT_TRUE(ok_.Flags().Pressed);
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    EXPECT_EQ(FacePixel(*ok_.Site), ExpectedFace(STATE_PRESSED));
    ASSERT_TRUE(KeyUp(*ok_.Spy, VK_SPACE));
    EXPECT_EQ(ok_.Log->Clicks, 1);
    EXPECT_FALSE(ok_.Flags().SpaceDown);
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);  // the pointer is outside

    // With the pointer over the control the release shows the hot look.
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    // Space held: the pointer moving paints nothing and raises no MouseMove.
    const size_t moves = ok_.Log->Moves.size();
    ASSERT_TRUE(PointerTo(ok_, 25, 12));
    EXPECT_EQ(ok_.Log->Moves.size(), moves);
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    ASSERT_TRUE(KeyUp(*ok_.Spy, VK_SPACE));
    EXPECT_EQ(ok_.Log->Clicks, 2);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
}

TEST_F(KeyboardInput, SpaceIsIgnoredWhileTheLeftButtonIsHeld) {
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    ASSERT_TRUE(LeftDown(ok_));
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    EXPECT_FALSE(ok_.Flags().SpaceDown);
    ASSERT_TRUE(KeyUp(*ok_.Spy, VK_SPACE));
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_TRUE(ok_.Flags().Pressed);  // still the mouse's press
    EXPECT_EQ(ok_.Flags().State, STATE_PRESSED);
    ASSERT_TRUE(LeftUp(ok_));
    EXPECT_EQ(ok_.Log->Clicks, 1);
}

TEST_F(KeyboardInput, AccessKeyCancelsAHeldSpace) {
    ::SetFocus(ok_.Hwnd());
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    ASSERT_EQ(ok_.Flags().State, STATE_PRESSED);
    // The plain key "o" while the control has the focus is its access key.
    SendKeyInput('O', false);
    SendKeyInput('O', true);
    ASSERT_TRUE(PumpUntil([&] { return !ok_.Flags().SpaceDown; }, 2s));
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(ok_.Log->Clicks, 0);
    ASSERT_TRUE(KeyUp(*ok_.Spy, VK_SPACE));
    EXPECT_EQ(ok_.Log->Clicks, 0);
}

// Counts the form's close requests and refuses them, so the fixture's form stays.
LRESULT CALLBACK CountCloses(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR closes) {
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        ++*reinterpret_cast<int*>(closes);
        return 0;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

TEST_F(KeyboardInput, KeysWithAltReachTheButtonAndKeepTheirSystemMeaning) {
    ::SetFocus(ok_.Hwnd());
    // Space down, Alt down, Space up, Alt up: the release ends the press by the key-up rule.
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    {
        HeldKey alt(VK_MENU);
        ASSERT_TRUE(SendKey(*ok_.Spy, VK_SPACE, true, WM_SYSKEYUP));
        EXPECT_EQ(ok_.Log->Clicks, 1);
        EXPECT_FALSE(ok_.Flags().SpaceDown);
        EXPECT_FALSE(ok_.Flags().Pressed);
        EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
        // Alt+Enter clicks as Enter does.
        ASSERT_TRUE(SendKey(*ok_.Spy, VK_RETURN, false, WM_SYSKEYDOWN));
        SendKeyInput(VK_RETURN, true);
        EXPECT_EQ(ok_.Log->Clicks, 2);
    }
    // Nothing stuck: hovering and Space work again.
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    ASSERT_TRUE(KeyUp(*ok_.Spy, VK_SPACE));
    EXPECT_EQ(ok_.Log->Clicks, 3);

    // Alt+F4 still asks the form to close.
    int closes = 0;
    ::SetWindowSubclass(form_->Hwnd(), &CountCloses, 0xC105, reinterpret_cast<DWORD_PTR>(&closes));
    {
        HeldKey alt(VK_MENU);
        ASSERT_TRUE(SendKey(*ok_.Spy, VK_F4, false, WM_SYSKEYDOWN));
        SendKeyInput(VK_F4, true);
        EXPECT_TRUE(PumpUntil([&] { return closes == 1; }, 2s));
    }
    ::RemoveWindowSubclass(form_->Hwnd(), &CountCloses, 0xC105);
}

TEST_F(KeyboardInput, AltSpaceOpensTheWindowMenuAndLeavesNoPressBehind) {
    ::SetFocus(ok_.Hwnd());
    WindowMenuCloser closer;
    SendKeyInput(VK_MENU, false);
    SendKeyInput(VK_SPACE, false);
    SendKeyInput(VK_SPACE, true);
    SendKeyInput(VK_MENU, true);
    EXPECT_TRUE(PumpUntil([&] { return closer.Shown(); }, 3s)) << "no window menu";
    closer.Join();
    testing_support::Pump(100ms);
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_FALSE(ok_.Flags().SpaceDown);
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(::GetFocus(), ok_.Hwnd());
}

// A point of the form's frame where hit-testing gives `area` (HTSYSMENU, HTCAPTION).
POINT FramePoint(HWND form, LRESULT area) {
    RECT r{};
    ::GetWindowRect(form, &r);
    for (int y = r.top; y < r.top + 60; ++y)
        for (int x = r.left + 1; x < r.right; x += 2)
            if (::SendMessageW(form, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == area) return POINT{x + 1, y + 2};
    return POINT{-1, -1};
}

void Mouse(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof(in));
}

TEST_F(KeyboardInput, SpaceHeldThroughTheFormsMenuOrMoveByTheMouseClicksNothing) {
    // The window menu opened by a click on the form's icon, with Space held on the button
    // and let go of after the menu has closed.
    ::SetFocus(ok_.Hwnd());
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    ASSERT_TRUE(ok_.Flags().Pressed);
    const POINT icon = FramePoint(form_->Hwnd(), HTSYSMENU);
    ASSERT_GE(icon.x, 0) << "no icon on the form's caption";
    {
        WindowMenuCloser closer;
        ::SetCursorPos(icon.x, icon.y);
        Mouse(MOUSEEVENTF_LEFTDOWN);
        Mouse(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(PumpUntil([&] { return closer.Shown(); }, 3s)) << "no window menu";
    }
    testing_support::Pump(100ms);
    Mark(*ok_.Site);
    SendKeyInput(VK_SPACE, true);
    testing_support::Pump(200ms);
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_FALSE(Redrawn(*ok_.Site)) << "the release of a key held through the menu reached the button";

    // The form dragged by its caption, with Space held on the button and let go of inside
    // the move. The move loop runs on this thread: the mouse and the key come from another.
    ASSERT_TRUE(KeyDown(*ok_.Spy, VK_SPACE));
    ASSERT_TRUE(ok_.Flags().Pressed);
    const POINT caption = FramePoint(form_->Hwnd(), HTCAPTION);
    ASSERT_GE(caption.x, 0) << "no caption";
    RECT before{};
    ::GetWindowRect(form_->Hwnd(), &before);
    ::SetCursorPos(caption.x, caption.y);
    std::atomic<bool> dragged{false};
    std::thread drag([&] {
        Mouse(MOUSEEVENTF_LEFTDOWN);
        for (int i = 1; i <= 6; ++i, ::Sleep(50)) ::SetCursorPos(caption.x + 8 * i, caption.y + 4 * i);
        SendKeyInput(VK_SPACE, true);
        ::Sleep(200);
        ::SetCursorPos(caption.x + 60, caption.y + 30);
        ::Sleep(100);
        Mouse(MOUSEEVENTF_LEFTUP);
        dragged = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return dragged.load(); }, 5s));
    drag.join();
    testing_support::Pump(300ms);
    RECT after{};
    ::GetWindowRect(form_->Hwnd(), &after);
    EXPECT_NE(after.left, before.left) << "the form was not moved: no move loop ran";
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_FALSE(ok_.Flags().Pressed);
    // No button held: the form stays where it is when the pointer moves.
    ::SetCursorPos(caption.x + 150, caption.y + 90);
    testing_support::Pump(300ms);
    RECT later{};
    ::GetWindowRect(form_->Hwnd(), &later);
    EXPECT_TRUE(::EqualRect(&after, &later)) << "the form follows the pointer with no button held";
}

TEST_F(KeyboardInput, EnterHeldThroughTheMessageBoxItsClickShowsClicksOnce) {
    // The box takes the focus; Enter, still held, repeats: the first repeat closes the box,
    // the later ones come back to the button, and a repeat starts no press. The keys are
    // the X server's, as a keyboard's are (a key SendInput holds is up again for Wine once
    // the focus has gone to the box and back).
    ok_.Button().Events.Click = [&] {
        ++ok_.Log->Clicks;
        ::MessageBoxW(form_->Hwnd(), L"Done", L"Dorvane test", MB_OK);
        ::SetFocus(ok_.Hwnd());  // back to the button, as Form1 does when it is active again
    };
    ::SetFocus(ok_.Hwnd());
    std::atomic<bool> done{false};
    std::thread closer([&] {
        // A box that a later repeat opened would wait for ever: close what is left.
        ::Sleep(2000);
        for (int i = 0; i < 50; ++i, ::Sleep(20))
            if (HWND left = ::FindWindowW(L"#32770", L"Dorvane test")) ::PostMessageW(left, WM_COMMAND, IDOK, 0);
        done = true;
    });
    std::string keys = "keydown Return sleep 0.4";
    for (int i = 0; i < 8; ++i) keys += " keydown Return sleep 0.06";
    const bool started = XKeys(keys + " keyup Return");
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 10s));
    closer.join();
    ASSERT_TRUE(started) << "xdotool could not be started";
    testing_support::Pump(200ms);
    EXPECT_EQ(ok_.Log->Clicks, 1);
}

class ButtonsAndField : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        if (HasFatalFailure()) return;
        cancel_ = AddProbe(*form_, L"XPButton22", L"&Cancel", kSecondBounds);
        field_ = AddTextField(*form_, L"Text1", RECT{20, 120, 200, 144});
        fieldSpy_ = std::make_unique<MessageSpy>(field_);
        // The second button hooked the form after the fixture's activation round.
        ASSERT_TRUE(ActivateAgain(*form_, other_, {&ok_, &cancel_}));
        ok_.Log->Clear();
        cancel_.Log->Clear();
    }
    // Puts the focus on the second button, presses the arrow and waits for the focus.
    bool ArrowFromSecondGoesTo(WORD vk, HWND expected) {
        ::SetFocus(cancel_.Hwnd());
        if (::GetFocus() != cancel_.Hwnd()) return false;
        if (!KeyDown(*cancel_.Spy, vk)) return false;
        SendKeyInput(vk, true);
        return PumpUntil([&] { return ::GetFocus() == expected; }, 2s);
    }
    Probe cancel_;
    HWND field_ = nullptr;
    std::unique_ptr<MessageSpy> fieldSpy_;
};

TEST_F(ButtonsAndField, RightAndDownMoveToTheNextControl) {
    EXPECT_TRUE(ArrowFromSecondGoesTo(VK_RIGHT, field_));
    EXPECT_TRUE(ArrowFromSecondGoesTo(VK_DOWN, field_));
    EXPECT_FALSE(cancel_.Flags().Focused);
}

TEST_F(ButtonsAndField, LeftAndUpMoveToThePreviousControl) {
    EXPECT_TRUE(ArrowFromSecondGoesTo(VK_LEFT, ok_.Hwnd()));
    EXPECT_TRUE(ok_.Flags().Focused);
    EXPECT_EQ(ok_.Flags().State, STATE_FOCUSED);
    EXPECT_TRUE(ArrowFromSecondGoesTo(VK_UP, ok_.Hwnd()));
    // Shift went up again with the synthesised Tab.
    EXPECT_GE(::GetKeyState(VK_SHIFT), 0);
}

TEST_F(ButtonsAndField, ArrowsGoTheirWayWhileShiftIsHeldAndShiftStaysHeld) {
    HeldKey shift(VK_SHIFT);
    ASSERT_TRUE(PumpUntil([] { return ::GetKeyState(VK_SHIFT) < 0; }, 2s));
    EXPECT_TRUE(ArrowFromSecondGoesTo(VK_RIGHT, field_));
    EXPECT_TRUE(PumpUntil([] { return ::GetKeyState(VK_SHIFT) < 0; }, 2s)) << "the user's Shift was let go";
    EXPECT_TRUE(ArrowFromSecondGoesTo(VK_LEFT, ok_.Hwnd()));
    EXPECT_TRUE(PumpUntil([] { return ::GetKeyState(VK_SHIFT) < 0; }, 2s)) << "the user's Shift was let go";
    shift.Release();
    EXPECT_GE(::GetKeyState(VK_SHIFT), 0);
}

// The user letting go of Shift at the worst moment: a thread of its own watches the
// system's keyboard input through a low-level hook; when the next release of Shift (not
// the user's) passes, it holds that event 50 ms while a second thread sends the user's
// release, which therefore comes right behind it.
class ReleaseOnNextShiftUp {
public:
    ReleaseOnNextShiftUp() : watcher_([this] { Watch(); }) {
        while (!ready_) ::Sleep(1);
    }
    ~ReleaseOnNextShiftUp() {
        ::PostThreadMessageW(watcherId_, WM_QUIT, 0, 0);
        watcher_.join();
        if (user_.joinable()) user_.join();
    }
    bool Released() const { return released_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const auto& e = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        ReleaseOnNextShiftUp* self = g_current;
        if (code == HC_ACTION && self && !self->triggered_ && (e.flags & LLKHF_UP) &&
            (e.vkCode == VK_SHIFT || e.vkCode == VK_LSHIFT || e.vkCode == VK_RSHIFT)) {
            self->triggered_ = true;
            self->user_ = std::thread([self] {
                SendKeyInput(VK_SHIFT, true);
                self->released_ = true;
            });
            ::Sleep(50);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Watch() {
        watcherId_ = ::GetCurrentThreadId();
        g_current = this;
        HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, &Hook, ::GetModuleHandleW(nullptr), 0);
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
        ready_ = true;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        }
        ::UnhookWindowsHookEx(hook);
        g_current = nullptr;
    }
    static inline ReleaseOnNextShiftUp* g_current = nullptr;
    std::atomic<bool> ready_{false}, triggered_{false}, released_{false};
    DWORD watcherId_ = 0;
    std::thread user_;
    std::thread watcher_;  // last: it starts once the fields above exist
};

TEST_F(ButtonsAndField, NoPressAndNoModifierOutlivesItsKey) {
    // Alt down, Space down: the window menu opens; Esc twice closes it with Space still
    // held; then Alt and Space go up. The menu ended the press: no Click.
    ::SetFocus(ok_.Hwnd());
    WindowMenuCloser closer;
    SendKeyInput(VK_MENU, false);
    SendKeyInput(VK_SPACE, false);
    EXPECT_TRUE(PumpUntil([&] { return closer.Shown(); }, 3s)) << "no window menu";
    closer.Join();
    testing_support::Pump(300ms);
    SendKeyInput(VK_MENU, true);
    SendKeyInput(VK_SPACE, true);
    testing_support::Pump(200ms);
    EXPECT_EQ(ok_.Log->Clicks, 0);
    EXPECT_FALSE(ok_.Flags().Pressed);
    EXPECT_EQ(::GetFocus(), ok_.Hwnd());

    // Alt+Right moves on, and Alt is up once the user lets go of it.
    ::SetFocus(cancel_.Hwnd());
    {
        HeldKey alt(VK_MENU);
        ASSERT_TRUE(SendKey(*cancel_.Spy, VK_RIGHT, false, WM_SYSKEYDOWN));
        SendKeyInput(VK_RIGHT, true);
        EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == field_; }, 2s));
    }
    testing_support::Pump(100ms);
    EXPECT_GE(::GetAsyncKeyState(VK_MENU), 0) << "Alt was left down";

    // Shift let go of by the user while an arrow press is handled is never left down by
    // the press's synthesised Tab. The user's release comes the moment the press's own
    // release of Shift passes through the system (a low-level hook that holds it there
    // 50 ms), so it arrives in the middle of the press's keys, as a real one can.
    int stuck = 0;
    for (int trial = 0; trial < 40; ++trial) {
        ::SetFocus(trial % 2 ? cancel_.Hwnd() : ok_.Hwnd());
        SendKeyInput(VK_SHIFT, false);
        ASSERT_TRUE(PumpUntil([] { return ::GetKeyState(VK_SHIFT) < 0; }, 2s));
        {
            ReleaseOnNextShiftUp user;
            if (trial % 4 == 3) {
                // Keystrokes with a typed character among them, sent as the control sends Tab.
                host::SendKeys(L"a{TAB}");
            } else {
                SendKeyInput(trial % 2 ? VK_LEFT : VK_RIGHT, false);
                SendKeyInput(trial % 2 ? VK_LEFT : VK_RIGHT, true);
            }
            EXPECT_TRUE(PumpUntil([&] { return user.Released(); }, 2s));
        }
        testing_support::Pump(60ms);
        if (::GetAsyncKeyState(VK_SHIFT) < 0) {
            ++stuck;
            SendKeyInput(VK_SHIFT, true);
            testing_support::Pump(20ms);
        }
    }
    EXPECT_EQ(stuck, 0) << "Shift stayed down after the user let go, in " << stuck << " of 40 trials";
}

TEST_F(ButtonsAndField, AccessKeysAreRoutedByTheContainer) {
    // Alt+O anywhere on the form: from the text field it clicks "&OK".
    ::SetFocus(field_);
    ASSERT_EQ(::GetFocus(), field_);
    SendKeyInput(VK_MENU, false);
    SendKeyInput('O', false);
    SendKeyInput('O', true);
    SendKeyInput(VK_MENU, true);
    EXPECT_TRUE(PumpUntil([&] { return ok_.Log->Clicks == 1; }, 2s));
    EXPECT_EQ(::GetFocus(), ok_.Hwnd());
    EXPECT_EQ(TextOf(field_), L"");

    // The plain key while a button has the focus: the button itself, or another one.
    ASSERT_TRUE(KeyDown(*ok_.Spy, 'O'));
    SendKeyInput('O', true);
    EXPECT_TRUE(PumpUntil([&] { return ok_.Log->Clicks == 2; }, 2s));
    ::SetFocus(cancel_.Hwnd());
    ASSERT_TRUE(KeyDown(*cancel_.Spy, 'O'));
    SendKeyInput('O', true);
    EXPECT_TRUE(PumpUntil([&] { return ok_.Log->Clicks == 3; }, 2s));
    EXPECT_EQ(cancel_.Log->Clicks, 0);

    // The plain key while the text field has the focus is typing.
    ::SetFocus(field_);
    ASSERT_TRUE(KeyDown(*fieldSpy_, 'O'));
    SendKeyInput('O', true);
    EXPECT_TRUE(PumpUntil([&] { return TextOf(field_) == L"o"; }, 2s));
    EXPECT_EQ(ok_.Log->Clicks, 3);
    EXPECT_EQ(::GetFocus(), field_);

    // A disabled button is passed over: no Click and the focus stays.
    ok_.Button().SetEnabled(false);
    SendKeyInput(VK_MENU, false);
    ASSERT_TRUE(SendKey(*fieldSpy_, 'O', false, WM_SYSKEYDOWN));
    SendKeyInput('O', true);
    SendKeyInput(VK_MENU, true);
    EXPECT_TRUE(PumpUntil([&] { return fieldSpy_->Count(WM_KEYUP) + fieldSpy_->Count(WM_SYSKEYUP) >= 2; }, 2s));
    testing_support::Pump(50ms);
    EXPECT_EQ(ok_.Log->Clicks, 3);
    EXPECT_EQ(::GetFocus(), field_);
    ok_.Button().SetEnabled(true);

    // Alt+C reaches the other button.
    SendKeyInput(VK_MENU, false);
    SendKeyInput('C', false);
    SendKeyInput('C', true);
    SendKeyInput(VK_MENU, true);
    EXPECT_TRUE(PumpUntil([&] { return cancel_.Log->Clicks == 1; }, 2s));
    EXPECT_EQ(ok_.Log->Clicks, 3);
}

TEST_F(ButtonsAndField, AccessKeyLetsWaitingInputRunBeforeItClicks) {
    // Alt+O comes as four key events at once. The access key is recognised from the
    // character message while the two key releases still wait; they reach the control
    // before its Click.
    ::SetFocus(ok_.Hwnd());
    int releasesAtClick = -1;
    ok_.Button().Events.Click = [&] { releasesAtClick = ok_.Spy->Count(WM_KEYUP) + ok_.Spy->Count(WM_SYSKEYUP); };
    const int releasesBefore = ok_.Spy->Count(WM_KEYUP) + ok_.Spy->Count(WM_SYSKEYUP);
    SendKeyInput(VK_MENU, false);
    SendKeyInput('O', false);
    SendKeyInput('O', true);
    SendKeyInput(VK_MENU, true);
    ASSERT_TRUE(PumpUntil([&] { return releasesAtClick >= 0; }, 2s));
    EXPECT_EQ(releasesAtClick, releasesBefore + 2);
}

TEST_F(ButtonsAndField, TabMovesTheLooksWithTheFocus) {
    ::SetFocus(ok_.Hwnd());
    ASSERT_EQ(ok_.Flags().State, STATE_FOCUSED);
    SendKeyInput(VK_TAB, false);
    SendKeyInput(VK_TAB, true);
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == cancel_.Hwnd(); }, 2s));
    EXPECT_EQ(ok_.Flags().State, STATE_NORMAL);
    EXPECT_FALSE(ok_.Flags().Focused);
    EXPECT_TRUE(cancel_.Flags().Focused);
    EXPECT_EQ(cancel_.Flags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*cancel_.Site), ExpectedFace(STATE_FOCUSED));

    // Leaving the default button draws its focused look again.
    ASSERT_FALSE(cancel_.Site->SetDisplayAsDefault(true).has_value());
    Mark(*cancel_.Site);
    SendKeyInput(VK_TAB, false);
    SendKeyInput(VK_TAB, true);
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == field_; }, 2s));
    EXPECT_FALSE(cancel_.Flags().Focused);
    EXPECT_TRUE(Redrawn(*cancel_.Site));
    EXPECT_EQ(cancel_.Flags().State, STATE_FOCUSED);

    // Gaining the focus under the pointer keeps the hot look without repainting it;
    // losing it there shows the hot look still.
    ASSERT_TRUE(PointerTo(ok_, 20, 10));
    ASSERT_EQ(ok_.Flags().State, STATE_HOT);
    Mark(*ok_.Site);
    SendKeyInput(VK_TAB, false);
    SendKeyInput(VK_TAB, true);
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == ok_.Hwnd(); }, 2s));
    EXPECT_TRUE(ok_.Flags().Focused);
    EXPECT_FALSE(Redrawn(*ok_.Site));
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
    SendKeyInput(VK_TAB, false);
    SendKeyInput(VK_TAB, true);
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == cancel_.Hwnd(); }, 2s));
    EXPECT_FALSE(ok_.Flags().Focused);
    EXPECT_EQ(ok_.Flags().State, STATE_HOT);
}

}  // namespace
}  // namespace dorvane::test
