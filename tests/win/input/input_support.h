// Helpers of the input tests: real input (the pointer moved with SetCursorPos, buttons and
// keys from SendInput), a spy that sees what reaches a window, a recorder of the button's
// events, and a second top-level window that takes the activation away from the form.
#pragma once

#include <windows.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/xpbutton/xp_button.h"
#include "tests/win/common/test_form.h"

namespace input_testing {

using namespace std::chrono_literals;

// Watches the messages that reach one window, ahead of its own procedure (a subclass
// registration of its own, removed with the object).
class MessageSpy {
public:
    explicit MessageSpy(HWND hwnd);
    ~MessageSpy();
    MessageSpy(const MessageSpy&) = delete;
    MessageSpy& operator=(const MessageSpy&) = delete;

    int Count(UINT msg) const;
    POINT LastMousePoint() const { return lastMouse_; }  // client coordinates of the last WM_MOUSEMOVE
    LPARAM LastKeyDown() const { return lastKeyDown_; }  // lParam of the last WM_KEYDOWN
    HWND Hwnd() const { return hwnd_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    HWND hwnd_;
    std::map<UINT, int> counts_;
    POINT lastMouse_{-1000, -1000};
    LPARAM lastKeyDown_ = 0;
};

struct MoveArgs {
    int16_t Button, Shift;
    float X, Y;
};

// The events a button raised, in the order they came.
struct EventLog {
    int Clicks = 0;
    int DblClicks = 0;
    std::vector<MoveArgs> Moves;
    std::vector<int32_t> Activations;
    void Attach(xpbutton::XPButton2& button);
    void Clear() { *this = EventLog{}; }
};

// A button on a form, with its spy and its event log.
struct Probe {
    host::ControlSite* Site = nullptr;
    std::unique_ptr<MessageSpy> Spy;
    std::unique_ptr<EventLog> Log;
    xpbutton::XPButton2& Button() const { return Site->ControlAs<xpbutton::XPButton2>(); }
    xpbutton::XPButton2::Flags Flags() const { return Button().GetFlags(); }
    HWND Hwnd() const { return Site->Hwnd(); }
};

inline constexpr RECT kFirstBounds{20, 20, 102, 47};  // 82 x 27 pixels
inline constexpr RECT kSecondBounds{20, 70, 102, 97};

// Adds a run-mode button loaded from the design's bag with the caption given.
Probe AddProbe(testing_support::TestForm& form, const std::wstring& name, const std::wstring& caption,
               RECT bounds = kFirstBounds);

// A text field (EDIT, tab stop) on the form, listed by its container; the form's window
// owns it and destroys it with itself.
HWND AddTextField(testing_support::TestForm& form, const std::wstring& name, RECT bounds);
std::wstring TextOf(HWND hwnd);

// A plain top-level window that takes the activation from the form.
class OtherWindow {
public:
    OtherWindow();
    ~OtherWindow();
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;
    HWND Hwnd() const { return hwnd_; }
    void Activate();

private:
    HWND hwnd_ = nullptr;
};

// Takes the activation to `other` and gives it back to the form, so that the buttons on
// it learn of an activation (their hook on the form is installed at load, after the form
// was first shown). True when every probe reports the form active again.
bool ActivateAgain(testing_support::TestForm& form, OtherWindow& other, const std::vector<const Probe*>& probes);

// Real pointer movement to a point in the window's client area; true when the spy saw a
// WM_MOUSEMOVE at that point (a captured pointer reports outside points too).
bool PointerTo(const Probe& probe, int x, int y);
// The pointer to a point of the form, outside any button; waits until the probe has been
// told the pointer left (m_bMouseOver False).
bool PointerOff(testing_support::TestForm& form, const Probe& probe, POINT formPoint = {300, 250});

// Mouse buttons at the pointer's position, from SendInput; true when the message reached
// the probe's window.
bool SendMouse(const Probe& probe, DWORD flags, UINT expectedMessage);
bool LeftDown(const Probe& probe);
bool LeftUp(const Probe& probe);
bool RightDown(const Probe& probe);
bool RightUp(const Probe& probe);

// Keys from SendInput to the focused window; true when `expectedMessage` reached the
// window the spy watches (it counts one more than before).
bool SendKey(const MessageSpy& target, WORD vk, bool up, UINT expectedMessage);
bool KeyDown(const MessageSpy& target, WORD vk);
bool KeyUp(const MessageSpy& target, WORD vk);
void SendKeyInput(WORD vk, bool up);

// Keys as the X server itself takes them (xdotool's commands through XTest, e.g.
// "keydown Return sleep 0.1 keyup Return"): Wine then reads them as a keyboard's, and its
// key state agrees with the X server's when the focus moves between its windows, which it
// does not for SendInput's keys. Started, not waited for (Wine gives no handle to wait on
// for a Linux program); false when it could not be started.
bool XKeys(const std::string& commands);

// A key held down by real input until Release or the end of the scope, so a failing
// check leaves no key down for the next test.
class HeldKey {
public:
    explicit HeldKey(WORD vk) : vk_(vk) { SendKeyInput(vk, false); }
    ~HeldKey() { Release(); }
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;
    void Release();

private:
    WORD vk_;
};

// The looks by their face pixel, and the pointer parked: the shared fixtures'.
using testing_support::ExpectedFace;
using testing_support::FacePixel;
using testing_support::ParkCursor;
using testing_support::Redrawn;
inline void Mark(const host::ControlSite& site) { testing_support::MarkFace(site); }

}  // namespace input_testing
