#include "win32/dpi.h"

#include <atomic>

#include "win32/win_handles.h"

namespace win32::dpi {

namespace {

// The calls of Windows 10 1607 and later; WINAPI matters on x86 (stdcall).
struct NewerCalls {
    UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
    int(WINAPI* GetSystemMetricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
    BOOL(WINAPI* AdjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* EnableNonClientDpiScaling)(HWND) = nullptr;
};

const NewerCalls& LookedUp() {
    static const NewerCalls calls = [] {
        NewerCalls c;
        // user32 is among the program's imports, so it is loaded for the whole run.
        const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        c.GetDpiForWindow = ProcAddress<decltype(c.GetDpiForWindow)>(user32, "GetDpiForWindow");
        c.GetSystemMetricsForDpi = ProcAddress<decltype(c.GetSystemMetricsForDpi)>(user32, "GetSystemMetricsForDpi");
        c.SystemParametersInfoForDpi =
            ProcAddress<decltype(c.SystemParametersInfoForDpi)>(user32, "SystemParametersInfoForDpi");
        c.AdjustWindowRectExForDpi =
            ProcAddress<decltype(c.AdjustWindowRectExForDpi)>(user32, "AdjustWindowRectExForDpi");
        c.EnableNonClientDpiScaling =
            ProcAddress<decltype(c.EnableNonClientDpiScaling)>(user32, "EnableNonClientDpiScaling");
        return c;
    }();
    return calls;
}

std::atomic<bool> g_hidden{false};

const NewerCalls& Calls() {
    static const NewerCalls none;
    return g_hidden.load() ? none : LookedUp();
}

void ScaleFont(LOGFONTW& font, UINT from, UINT to) {
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(to), static_cast<int>(from));
}

}  // namespace

UINT System() {
    static const UINT dpi = [] {
        WindowDc screen(nullptr);
        const int x = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
        return x > 0 ? static_cast<UINT>(x) : kDesign;
    }();
    return dpi;
}

UINT ForWindow(HWND hwnd) {
    if (Calls().GetDpiForWindow && hwnd) {
        if (const UINT dpi = Calls().GetDpiForWindow(hwnd)) return dpi;
    }
    return System();
}

void EnableNonClientScaling(HWND hwnd) {
    // Fails harmlessly where the window's thread is not per-monitor V1 aware.
    if (Calls().EnableNonClientDpiScaling) Calls().EnableNonClientDpiScaling(hwnd);
}

int SystemMetrics(int index, UINT dpi) {
    if (Calls().GetSystemMetricsForDpi) return Calls().GetSystemMetricsForDpi(index, dpi);
    const int value = ::GetSystemMetrics(index);
    return dpi == System() ? value : MulDiv(value, static_cast<int>(dpi), static_cast<int>(System()));
}

bool NonClientMetrics(NONCLIENTMETRICSW& metrics, UINT dpi) {
    metrics.cbSize = sizeof(metrics);
    if (Calls().SystemParametersInfoForDpi)
        return Calls().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi) != FALSE;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return false;
    if (dpi != System()) {
        // The classic call answers for the system DPI; only the fonts are used here.
        for (LOGFONTW* f : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont, &metrics.lfMenuFont,
                            &metrics.lfStatusFont, &metrics.lfMessageFont})
            ScaleFont(*f, System(), dpi);
    }
    return true;
}

bool WindowRectForClient(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    if (Calls().AdjustWindowRectExForDpi)
        return Calls().AdjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi) != FALSE;
    // The classic frame is the system DPI's, the only DPI a window has on Windows 7.
    return ::AdjustWindowRectEx(&rect, style, FALSE, exStyle) != FALSE;
}

bool NewerCallsAvailable() { return Calls().GetDpiForWindow != nullptr; }

void HideNewerCalls(bool hide) { g_hidden.store(hide); }

}  // namespace win32::dpi
