// Keystroke synthesis and one pass of the message loop, as a control asks of its host.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "host/control_site.h"
#include "host/form_container.h"

namespace host {

namespace {

struct NamedKey {
    const wchar_t* name;
    WORD vk;
};

constexpr NamedKey kNamedKeys[] = {
    {L"TAB", VK_TAB},     {L"ENTER", VK_RETURN},   {L"ESC", VK_ESCAPE},    {L"LEFT", VK_LEFT},
    {L"RIGHT", VK_RIGHT}, {L"UP", VK_UP},          {L"DOWN", VK_DOWN},     {L"HOME", VK_HOME},
    {L"END", VK_END},     {L"BACKSPACE", VK_BACK}, {L"DELETE", VK_DELETE}, {L"F4", VK_F4},
};

void AddKey(std::vector<INPUT>& inputs, WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_RCONTROL || vk == VK_RMENU) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    inputs.push_back(in);
}

// The modifier keys down at this moment, each as the side that is down.
std::vector<WORD> HeldModifiers() {
    struct Modifier {
        WORD either, left, right;
    };
    constexpr Modifier kModifiers[] = {
        {VK_SHIFT, VK_LSHIFT, VK_RSHIFT}, {VK_CONTROL, VK_LCONTROL, VK_RCONTROL}, {VK_MENU, VK_LMENU, VK_RMENU}};
    std::vector<WORD> held;
    for (const auto& m : kModifiers) {
        const bool left = ::GetAsyncKeyState(m.left) < 0, right = ::GetAsyncKeyState(m.right) < 0;
        if (left) held.push_back(m.left);
        if (right) held.push_back(m.right);
        if (!left && !right && ::GetAsyncKeyState(m.either) < 0) held.push_back(m.either);
    }
    return held;
}

// An unassigned virtual key: typed after Alt is pressed again, it makes the user's
// coming release of Alt no lone Alt press, which would enter the form's menu mode.
constexpr WORD kMenuMaskKey = 0xE8;

}  // namespace

void SendKeys(const std::wstring& keys) {
    // The notation: + Shift, ^ Ctrl, % Alt before one key; {NAME} a named key; any other
    // character is typed as itself. The keys go in as written whatever modifiers the
    // user holds (a held Shift would turn {TAB} into Shift+Tab): those are released
    // first and pressed again after, so they are still held afterwards.
    const std::vector<WORD> userHeld = HeldModifiers();
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
                if (_wcsicmp(k.name, name.c_str()) == 0) vk = k.vk;
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
            INPUT up = down;
            up.ki.dwFlags |= KEYEVENTF_KEYUP;
            inputs.push_back(down);
            inputs.push_back(up);
        }
        for (auto it = held.rbegin(); it != held.rend(); ++it) AddKey(inputs, *it, true);
        held.clear();
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it) AddKey(inputs, *it, true);
    for (WORD vk : userHeld) AddKey(inputs, vk, false);
    const bool altAgain = std::any_of(userHeld.begin(), userHeld.end(),
                                      [](WORD vk) { return vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU; });
    if (altAgain) {
        AddKey(inputs, kMenuMaskKey, false);
        AddKey(inputs, kMenuMaskKey, true);
    }
    if (!inputs.empty()) ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void DoEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the real message loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (FormContainer::PreTranslateForThread(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace host
