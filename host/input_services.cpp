// Keystroke synthesis and one pass of the message loop, as a control asks of its host,
// and a form's input held off while its thread waits for work.
#include "host/control_site.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "host/form_container.h"
#include "win32/system_text.h"
#include "win32/win_handles.h"

namespace host {

namespace {

struct NamedKey {
    const wchar_t* Name;
    WORD Vk;
};

constexpr NamedKey kNamedKeys[] = {
    {L"TAB", VK_TAB},     {L"ENTER", VK_RETURN},   {L"ESC", VK_ESCAPE},    {L"LEFT", VK_LEFT},
    {L"RIGHT", VK_RIGHT}, {L"UP", VK_UP},          {L"DOWN", VK_DOWN},     {L"HOME", VK_HOME},
    {L"END", VK_END},     {L"BACKSPACE", VK_BACK}, {L"DELETE", VK_DELETE}, {L"F4", VK_F4},
};

// Carried by every event SendKeys injects, so that its keyboard watch tells them from
// the user's.
constexpr ULONG_PTR kOwnEvent = 0x44564B53;  // "DVKS"

void AddKey(std::vector<INPUT>& inputs, WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_RCONTROL || vk == VK_RMENU) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    in.ki.dwExtraInfo = kOwnEvent;
    inputs.push_back(in);
}

// The modifier keys down at this moment, each as the side that is down.
std::vector<WORD> HeldModifiers() {
    struct Modifier {
        WORD Either, Left, Right;
    };
    constexpr Modifier kModifiers[] = {
        {VK_SHIFT, VK_LSHIFT, VK_RSHIFT}, {VK_CONTROL, VK_LCONTROL, VK_RCONTROL}, {VK_MENU, VK_LMENU, VK_RMENU}};
    std::vector<WORD> held;
    for (const auto& m : kModifiers) {
        const bool left = ::GetAsyncKeyState(m.Left) < 0, right = ::GetAsyncKeyState(m.Right) < 0;
        if (left) held.push_back(m.Left);
        if (right) held.push_back(m.Right);
        if (!left && !right && ::GetAsyncKeyState(m.Either) < 0) held.push_back(m.Either);
    }
    return held;
}

// The user's modifiers that SendKeys lets go of and presses again afterwards, watched
// while its events pass through the system's input stream. A release of one by the user
// that arrives before its re-press would be undone by the re-press, and the key would
// stay down for the whole system: that re-press is dropped instead. The watch is a
// low-level keyboard hook, which sees the user's events and the injected ones in the one
// order the system handles them.
struct ModifierWatch {
    std::vector<WORD> Held;           // as sampled, each as the side that was down
    std::vector<bool> ReleasedSince;  // by the user, since the sample
    size_t FirstRePress = 0;          // index of the first re-press among the own events
    size_t OwnEvents = 0, OwnSeen = 0;
};
thread_local ModifierWatch* g_watch = nullptr;

// Whether an event of key `vk` is one of the held modifier `held`: the same key, or the
// same modifier where one of the two names no side (VK_SHIFT stands for either Shift).
bool SameModifier(WORD held, DWORD vk) {
    auto family = [](DWORD k) -> DWORD {
        switch (k) {
            case VK_SHIFT:
            case VK_LSHIFT:
            case VK_RSHIFT:
                return VK_SHIFT;
            case VK_CONTROL:
            case VK_LCONTROL:
            case VK_RCONTROL:
                return VK_CONTROL;
            case VK_MENU:
            case VK_LMENU:
            case VK_RMENU:
                return VK_MENU;
            default:
                return k;
        }
    };
    if (held == vk) return true;
    return family(held) == family(vk) && (family(held) == held || family(vk) == vk);
}

// Called on the thread that set the hook, in the order the system takes the events.
LRESULT CALLBACK WatchModifiers(int code, WPARAM wParam, LPARAM lParam) {
    ModifierWatch* w = g_watch;
    if (code == HC_ACTION && w) {
        const auto& e = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if ((e.flags & LLKHF_INJECTED) && e.dwExtraInfo == kOwnEvent) {
            const size_t i = w->OwnSeen++;
            if (i >= w->FirstRePress && i - w->FirstRePress < w->Held.size() && w->ReleasedSince[i - w->FirstRePress])
                return 1;  // the user let go of it meanwhile: no re-press
        } else {
            for (size_t k = 0; k < w->Held.size(); ++k)
                if (SameModifier(w->Held[k], e.vkCode)) w->ReleasedSince[k] = (e.flags & LLKHF_UP) != 0;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Puts `inputs` into the system's input stream; raises host::Error when it takes fewer.
void Send(std::vector<INPUT>& inputs) {
    const UINT placed = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (placed == inputs.size()) return;
    const DWORD error = ::GetLastError();
    throw Error(ErrorNumber::Platform,
                win32::WithSystemText(L"The system took " + std::to_wstring(placed) + L" of " +
                                          std::to_wstring(inputs.size()) + L" keystroke events",
                                      error));
}

// Sends `inputs`, whose re-presses of `watch.Held` start at `watch.FirstRePress`, and
// returns once the re-presses have passed the watch (at most a second: where the system
// does not call the hook, they go unwatched); the hook goes with them. Only sent
// messages, the hook's calls among them, are handled meanwhile; the keys' own messages
// wait in the queue. Events the system did not take are not waited for.
void SendWatched(std::vector<INPUT>& inputs, ModifierWatch& watch, win32::UniqueHook hook) {
    watch.OwnEvents = watch.FirstRePress + watch.Held.size();
    g_watch = &watch;
    struct EndWatch {
        ~EndWatch() { g_watch = nullptr; }
    } endWatch;
    Send(inputs);
    for (const ULONGLONG end = ::GetTickCount64() + 1000;
         watch.OwnSeen < watch.OwnEvents && ::GetTickCount64() < end;) {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (watch.OwnSeen < watch.OwnEvents) ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_SENDMESSAGE, 0);
    }
    hook.reset();
}

// An unassigned virtual key: typed after Alt is pressed again, it makes the user's
// coming release of Alt no lone Alt press, which would enter the form's menu mode.
constexpr WORD kMenuMaskKey = 0xE8;

}  // namespace

void SendKeys(const std::wstring& keys) {
    // The notation: + Shift, ^ Ctrl, % Alt before one key; {NAME} a named key; any other
    // character is typed as itself. The keys go in as written whatever modifiers the
    // user holds (a held Shift would turn {TAB} into Shift+Tab): those are released
    // first and pressed again after, so they are still held afterwards, unless the user
    // lets go of one meanwhile (ModifierWatch). Where any is held, the watch starts before
    // the sample that counts, so no release escapes it.
    win32::UniqueHook hook;
    std::vector<WORD> userHeld = HeldModifiers();
    if (!userHeld.empty()) {
        hook.reset(::SetWindowsHookExW(WH_KEYBOARD_LL, &WatchModifiers, ::GetModuleHandleW(nullptr), 0));
        userHeld = HeldModifiers();
    }
    std::vector<INPUT> inputs;
    for (WORD vk : userHeld) AddKey(inputs, vk, true);
    std::vector<WORD> held;
    for (size_t i = 0; i < keys.size(); ++i) {
        wchar_t c = keys[i];
        if (c == L'+' || c == L'^' || c == L'%') {
            WORD vk = c == L'+' ? VK_SHIFT : c == L'^' ? VK_CONTROL : VK_MENU;
            AddKey(inputs, vk, false);
            held.push_back(vk);
            continue;
        }
        if (c == L'{') {
            size_t close = keys.find(L'}', i + 1);
            if (close == std::wstring::npos)
                throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: " + keys);
            std::wstring name = keys.substr(i + 1, close - i - 1);
            WORD vk = 0;
            for (const auto& k : kNamedKeys)
                if (base::EqualsIgnoringCase(k.Name, name)) vk = k.Vk;
            if (!vk)
                throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: {" + name + L"}");
            AddKey(inputs, vk, false);
            AddKey(inputs, vk, true);
            i = close;
        } else {
            INPUT down{};
            down.type = INPUT_KEYBOARD;
            down.ki.wScan = c;
            down.ki.dwFlags = KEYEVENTF_UNICODE;
            down.ki.dwExtraInfo = kOwnEvent;  // the watch counts these among its own too
            INPUT up = down;
            up.ki.dwFlags |= KEYEVENTF_KEYUP;
            inputs.push_back(down);
            inputs.push_back(up);
        }
        for (auto it = held.rbegin(); it != held.rend(); ++it) AddKey(inputs, *it, true);
        held.clear();
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it) AddKey(inputs, *it, true);
    ModifierWatch watch;
    watch.Held = userHeld;
    watch.ReleasedSince.assign(userHeld.size(), false);
    watch.FirstRePress = inputs.size();
    for (WORD vk : userHeld) AddKey(inputs, vk, false);
    const bool altAgain = std::any_of(userHeld.begin(), userHeld.end(),
                                      [](WORD vk) { return vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU; });
    if (altAgain) {
        AddKey(inputs, kMenuMaskKey, false);
        AddKey(inputs, kMenuMaskKey, true);
    }
    if (inputs.empty()) return;
    if (userHeld.empty() || !hook) {
        Send(inputs);
        return;
    }
    SendWatched(inputs, watch, std::move(hook));
}

void DoEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the real message loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (msg.hwnd && IsInputMessage(msg.message) && InputHeldOff(msg.hwnd)) continue;
        if (FormContainer::PreTranslateForThread(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool IsInputMessage(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) ||
           (message >= 0x0238 && message <= 0x0251) ||  // WM_POINTER*, Windows 8
           message == 0x0240 /*WM_TOUCH*/ || message == 0x0119 /*WM_GESTURE*/ || message == WM_INPUT;
}

namespace {

// The form's window property while it holds its input off: a window property, so that
// the answer is the same on every thread that asks.
constexpr wchar_t kInputHeldOff[] = L"Dorvane.InputHeldOff";

}  // namespace

InputHold::InputHold(HWND form) : form_(form) {
    // Without the property the form's input is still dropped by its waiting thread; only
    // screen readers would not learn of it.
    set_ = form_ && ::SetPropW(form_, kInputHeldOff, reinterpret_cast<HANDLE>(1));
}

InputHold::~InputHold() {
    if (set_) ::RemovePropW(form_, kInputHeldOff);
}

bool InputHeldOff(HWND window) {
    HWND form = window ? ::GetAncestor(window, GA_ROOT) : nullptr;
    return form && ::GetPropW(form, kInputHeldOff) != nullptr;
}

}  // namespace host
