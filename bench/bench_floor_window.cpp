// The floor for the start-up figure: the smallest Win32 program with a window that
// paints its client area once (solid blue) and runs a message loop, built with the same
// toolchain and flags as Dorvane.exe.
#include <windows.h>

#include "win32/window_class.h"

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            HBRUSH brush = ::CreateSolidBrush(RGB(0, 84, 166));
            ::FillRect(dc, &ps.rcPaint, brush);
            ::DeleteObject(brush);
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    win32::RegisterWindowClass(L"DorvaneBenchFloor", Proc);
    HWND hwnd = ::CreateWindowExW(0, L"DorvaneBenchFloor", L"floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  389, 354, nullptr, nullptr, instance, nullptr);
    ::ShowWindow(hwnd, show);
    ::UpdateWindow(hwnd);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
