#include "tests/win/input/input_support.h"

#include <commctrl.h>

#include "win32/win_handles.h"
#include "win32/window_class.h"

namespace input_testing {

using testing_support::PumpUntil;

namespace {

constexpr UINT_PTR kSpyId = 0x5059;  // "PY"

}  // namespace

MessageSpy::MessageSpy(HWND hwnd) : hwnd_(hwnd) {
    ::SetWindowSubclass(hwnd_, &MessageSpy::Proc, kSpyId, reinterpret_cast<DWORD_PTR>(this));
}

MessageSpy::~MessageSpy() {
    if (::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, &MessageSpy::Proc, kSpyId);
}

int MessageSpy::Count(UINT msg) const {
    auto it = counts_.find(msg);
    return it == counts_.end() ? 0 : it->second;
}

LRESULT CALLBACK MessageSpy::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<MessageSpy*>(data);
    ++self->counts_[msg];
    if (msg == WM_MOUSEMOVE)
        self->lastMouse_ = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (msg == WM_KEYDOWN) self->lastKeyDown_ = lParam;
    if (msg == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, &MessageSpy::Proc, id);
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

void EventLog::Attach(xpbutton::XPButton2& button) {
    button.Events.Click = [this] { ++Clicks; };
    button.Events.DblClick = [this] { ++DblClicks; };
    button.Events.MouseMove = [this](int16_t& b, int16_t& s, float& x, float& y) { Moves.push_back({b, s, x, y}); };
    button.Events.FormActivate = [this](int32_t& state) { Activations.push_back(state); };
}

Probe AddProbe(testing_support::TestForm& form, const std::wstring& name, const std::wstring& caption, RECT bounds) {
    const host::PropertyBag bag = testing_support::ButtonBag(caption);
    Probe p;
    p.Site = &form.AddButton(name, bounds, &bag, true);
    p.Spy = std::make_unique<MessageSpy>(p.Site->Hwnd());
    p.Log = std::make_unique<EventLog>();
    p.Log->Attach(p.Button());
    return p;
}

HWND AddTextField(testing_support::TestForm& form, const std::wstring& name, RECT bounds) {
    HWND edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                  bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                                  form.Hwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    form.Container().AddPlainControl(std::make_unique<host::PlainControl>(L"TextBox", name, edit));
    return edit;
}

std::wstring TextOf(HWND hwnd) { return win32::WindowText(hwnd); }

OtherWindow::OtherWindow() {
    win32::RegisterWindowClass(L"DorvaneInputOther", &::DefWindowProcW,
                              {.Background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)});
    // Well away from the test form (40, 40, about 410 x 330), so the pointer never meets it.
    hwnd_ = ::CreateWindowExW(0, L"DorvaneInputOther", L"Other window", WS_OVERLAPPEDWINDOW, 700, 500, 200, 150,
                              nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

OtherWindow::~OtherWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

void OtherWindow::Activate() {
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::SetActiveWindow(hwnd_);
    PumpUntil([&] { return ::GetActiveWindow() == hwnd_; }, 2s);
}

bool ActivateAgain(testing_support::TestForm& form, OtherWindow& other, const std::vector<const Probe*>& probes) {
    other.Activate();
    if (!PumpUntil([&] { return ::GetActiveWindow() == other.Hwnd(); }, 2s)) return false;
    form.Activate();
    return PumpUntil(
        [&] {
            for (const Probe* p : probes)
                if (!p->Flags().FormActive) return false;
            return true;
        },
        3s);
}

bool PointerTo(const Probe& probe, int x, int y) {
    POINT screen{x, y};
    ::ClientToScreen(probe.Hwnd(), &screen);
    const int before = probe.Spy->Count(WM_MOUSEMOVE);
    ::SetCursorPos(screen.x, screen.y);
    return PumpUntil(
        [&] {
            const POINT last = probe.Spy->LastMousePoint();
            return probe.Spy->Count(WM_MOUSEMOVE) > before && last.x == x && last.y == y;
        },
        2s);
}

bool PointerOff(testing_support::TestForm& form, const Probe& probe, POINT formPoint) {
    ::ClientToScreen(form.Hwnd(), &formPoint);
    ::SetCursorPos(formPoint.x, formPoint.y);
    return PumpUntil([&] { return !probe.Flags().MouseOver; }, 3s);
}

bool SendMouse(const Probe& probe, DWORD flags, UINT expectedMessage) {
    const int before = probe.Spy->Count(expectedMessage);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;  // relative, no movement: at the pointer's position
    if (::SendInput(1, &in, sizeof(in)) != 1) return false;
    return PumpUntil([&] { return probe.Spy->Count(expectedMessage) > before; }, 2s);
}

bool LeftDown(const Probe& probe) { return SendMouse(probe, MOUSEEVENTF_LEFTDOWN, WM_LBUTTONDOWN); }
bool LeftUp(const Probe& probe) { return SendMouse(probe, MOUSEEVENTF_LEFTUP, WM_LBUTTONUP); }
bool RightDown(const Probe& probe) { return SendMouse(probe, MOUSEEVENTF_RIGHTDOWN, WM_RBUTTONDOWN); }
bool RightUp(const Probe& probe) { return SendMouse(probe, MOUSEEVENTF_RIGHTUP, WM_RBUTTONUP); }

void SendKeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    ::SendInput(1, &in, sizeof(in));
}

bool SendKey(const MessageSpy& target, WORD vk, bool up, UINT expectedMessage) {
    const int before = target.Count(expectedMessage);
    SendKeyInput(vk, up);
    return PumpUntil([&] { return target.Count(expectedMessage) > before; }, 2s);
}

bool XKeys(const std::string& commands) {
    // Wine starts a Linux program by its Z: path like any other.
    std::wstring line = L"/usr/bin/xdotool " + std::wstring(commands.begin(), commands.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(L"Z:\\usr\\bin\\xdotool", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    const win32::UniqueKernelHandle thread(process.hThread), owned(process.hProcess);
    return true;
}

void HeldKey::Release() {
    if (!vk_) return;
    SendKeyInput(vk_, true);
    vk_ = 0;
    testing_support::Pump(30ms);
}

bool KeyDown(const MessageSpy& target, WORD vk) { return SendKey(target, vk, false, WM_KEYDOWN); }
bool KeyUp(const MessageSpy& target, WORD vk) { return SendKey(target, vk, true, WM_KEYUP); }

}  // namespace input_testing
