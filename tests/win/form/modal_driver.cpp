#include "tests/win/form/modal_driver.h"

#include <commdlg.h>

#include <vector>

#include "win32/window_class.h"

namespace dorvane::test {

namespace {

struct Search {
    HWND Owner;
    HWND Found = nullptr;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lParam) {
    auto* s = reinterpret_cast<Search*>(lParam);
    wchar_t cls[32] = {};
    ::GetClassNameW(hwnd, cls, 32);
    if (wcscmp(cls, L"#32770") == 0 && ::GetWindow(hwnd, GW_OWNER) == s->Owner && ::IsWindowVisible(hwnd)) {
        s->Found = hwnd;
        return FALSE;
    }
    return TRUE;
}

constexpr auto& kTextOf = win32::WindowText;

BOOL CALLBACK CountButtons(HWND child, LPARAM lParam) {
    wchar_t cls[32] = {};
    ::GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Button") == 0 && ::IsWindowVisible(child)) ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

HWND WaitForDialog(HWND owner, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (HWND dlg = FindOwnedDialog(owner)) return dlg;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

}  // namespace

HWND FindOwnedDialog(HWND owner) {
    Search s{owner};
    ::EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

MessageBoxAnswerer::MessageBoxAnswerer(HWND owner, std::chrono::milliseconds limit) {
    thread_ = std::thread([this, owner, limit] {
        HWND box = WaitForDialog(owner, limit);
        if (!box) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it finish laying out
        seen_.Shown = true;
        seen_.Title = kTextOf(box);
        seen_.Text = kTextOf(::GetDlgItem(box, 0xFFFF));
        // A message box's icon is a static control with id 20.
        HWND icon = ::GetDlgItem(box, 20);
        seen_.HasIcon = icon && ::IsWindowVisible(icon) && ::SendMessageW(icon, STM_GETICON, 0, 0) != 0;
        ::EnumChildWindows(box, &CountButtons, reinterpret_cast<LPARAM>(&seen_.Buttons));
        seen_.Owner = ::GetWindow(box, GW_OWNER);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    if (thread_.joinable()) thread_.join();
}

MessageBoxSeen MessageBoxAnswerer::Result() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

OpenDialogAnswerer::OpenDialogAnswerer(HWND owner, std::wstring path, std::chrono::milliseconds limit) {
    thread_ = std::thread([this, owner, path, limit] {
        HWND dlg = WaitForDialog(owner, limit);
        if (!dlg) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        wchar_t folder[MAX_PATH] = {};
        if (::SendMessageW(dlg, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0) folder_ = folder;
        if (path.empty()) {
            ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        } else {
            // The file-name box of the open dialog (cmb13, or edt1 in older layouts).
            HWND name = ::GetDlgItem(dlg, 0x47C);
            if (!name) name = ::GetDlgItem(dlg, 0x480);
            ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
        }
        answered_ = true;
    });
}

OpenDialogAnswerer::~OpenDialogAnswerer() {
    if (thread_.joinable()) thread_.join();
}

bool OpenDialogAnswerer::Answered() {
    if (thread_.joinable()) thread_.join();
    return answered_;
}

}  // namespace dorvane::test
