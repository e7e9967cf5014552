// One way to make a window: its class registered once per process, a window procedure
// that reaches the window's object from the first message to the last, and the window's
// text. Every window of the program, its tools and its test supports is made this way.
//
//   class Form { LRESULT HandleMessage(HWND, UINT, WPARAM, LPARAM); ... };
//   RegisterWindowClass(L"Form", &ObjectWindow<Form>::Proc);
//   CreateWindowExW(..., L"Form", ..., this);   // the object comes as lpCreateParams
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// A class's settings besides its name and procedure; the cursor is always the arrow.
struct ClassLook {
    UINT Style = 0;
    HBRUSH Background = nullptr;
};

// Registers the class for the program's module, once: when the system knows the name
// already, nothing is done. False when the system refuses it.
inline bool RegisterWindowClass(const wchar_t* name, WNDPROC proc, const ClassLook& look = {}) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (::GetClassInfoExW(instance, name, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = look.Style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = look.Background;
    wc.lpszClassName = name;
    return ::RegisterClassExW(&wc) || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Whether hwnd is a window of this process whose class has the procedure proc. The class's
// procedure tells even when the window is subclassed, which changes only the window's own.
inline bool WindowOfClassProc(HWND hwnd, WNDPROC proc) {
    DWORD process = 0;
    if (!hwnd || !::GetWindowThreadProcessId(hwnd, &process) || process != ::GetCurrentProcessId()) return false;
    return reinterpret_cast<WNDPROC>(::GetClassLongPtrW(hwnd, GCLP_WNDPROC)) == proc;
}

// The window procedure of a class whose windows belong to objects of type T, which answer
// LRESULT T::HandleMessage(HWND, UINT, WPARAM, LPARAM). The object comes with the
// creation (lpCreateParams) and is kept from WM_NCCREATE until WM_NCDESTROY, its last
// message, so WM_NCCREATE, WM_NCCALCSIZE and WM_CREATE reach it too. Without an object,
// DefWindowProc answers.
template <typename T>
struct ObjectWindow {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        T* object = reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!object) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return object->HandleMessage(hwnd, msg, wParam, lParam);
    }

    // The object of any window: null unless the window is of a class with this procedure.
    static T* From(HWND hwnd) {
        if (!WindowOfClassProc(hwnd, &Proc)) return nullptr;
        return reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }

    // Lets go of the object early, before it destroys its own window: the window's last
    // messages then go to DefWindowProc.
    static void Detach(HWND hwnd) {
        if (WindowOfClassProc(hwnd, &Proc)) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    }
};

// The whole text of a window (its caption, or a control's contents).
inline std::wstring WindowText(HWND hwnd) {
    const int n = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), n + 1)));
    return text;
}

}  // namespace win32
