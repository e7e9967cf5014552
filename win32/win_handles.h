// Owning and scoped Win32 handles. Every owning type is move-only; borrowed handles are
// plain HWND/HDC values.
#pragma once

#include <windows.h>

#include <utility>

#include "base/unique_handle.h"

namespace win32 {

using base::UniqueHandle;

// A handle whose empty value is null, closed by the function CloseFn.
template <typename Handle, auto CloseFn>
struct NullHandleTraits {
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CloseFn(h); }
};
template <typename Handle, auto CloseFn>
using UniqueNullHandle = UniqueHandle<Handle, NullHandleTraits<Handle, CloseFn>>;

inline void DestroyWindowIfAlive(HWND h) noexcept {
    if (::IsWindow(h)) ::DestroyWindow(h);  // its parent may have destroyed it already
}

using UniqueModule = UniqueNullHandle<HMODULE, &::FreeLibrary>;
using UniqueFont = UniqueNullHandle<HFONT, &::DeleteObject>;
using UniqueBitmap = UniqueNullHandle<HBITMAP, &::DeleteObject>;
using UniqueBrush = UniqueNullHandle<HBRUSH, &::DeleteObject>;
using UniquePen = UniqueNullHandle<HPEN, &::DeleteObject>;
using UniqueRegion = UniqueNullHandle<HRGN, &::DeleteObject>;
using UniqueMemoryDc = UniqueNullHandle<HDC, &::DeleteDC>;
using UniqueWindow = UniqueNullHandle<HWND, &DestroyWindowIfAlive>;
using UniqueKernelHandle = UniqueNullHandle<HANDLE, &::CloseHandle>;
using UniqueIcon = UniqueNullHandle<HICON, &::DestroyIcon>;
using UniqueHook = UniqueNullHandle<HHOOK, &::UnhookWindowsHookEx>;

// A file as CreateFileW opens it: empty on INVALID_HANDLE_VALUE, which CreateFileW gives
// when it fails, not on null (so never a UniqueKernelHandle).
struct FileTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using UniqueFile = UniqueHandle<HANDLE, FileTraits>;

// A DLL of Windows, loaded from the system folder by its full path: never from the
// program's folder or the current folder, where a planted DLL of the same name would be
// found first (oleacc and odbc32 are not among the system's known DLLs). Its own
// imports are looked for beside it. Null when it cannot be loaded (GetLastError says why).
inline HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
    wchar_t path[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n + 1 + ::lstrlenW(name) >= MAX_PATH) return nullptr;
    path[n] = L'\\';
    ::lstrcpyW(path + n + 1, name);
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A typed entry point of a loaded module, or null.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) noexcept {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// GetDC/ReleaseDC for the lifetime of the scope.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// BeginPaint/EndPaint for the lifetime of the scope.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) noexcept : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
    ~PaintDc() { ::EndPaint(hwnd_, &ps_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const noexcept { return dc_; }
    const RECT& Area() const noexcept { return ps_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Selects an object into a DC and selects the previous one back at scope end.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), previous_(::SelectObject(dc, obj)) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    bool Ok() const noexcept { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace win32
