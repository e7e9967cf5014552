// The screen's dots per inch for windows and system metrics, on every Windows from 7 SP1 on.
// Windows 10 1607 and later answer per window and per monitor (GetDpiForWindow,
// GetSystemMetricsForDpi, SystemParametersInfoForDpi, AdjustWindowRectExForDpi); these are
// looked up once at run time, since the program must start where they do not exist.
// Without them the answer is the system DPI (GetDeviceCaps LOGPIXELSX), which Windows 7
// and 8 keep for the whole session, with the classic calls scaled to the asked DPI.
// WM_DPICHANGED only arrives where windows can change DPI (8.1 and later).
#pragma once

#include <windows.h>

namespace win32::dpi {

// The design DPI: 96 dots per inch, 15 twips per pixel.
inline constexpr UINT kDesign = 96;

// The system DPI of this session.
UINT System();
// The window's DPI: its monitor's with the newer calls, else the system DPI.
UINT ForWindow(HWND hwnd);
// GetSystemMetrics(index) as at dpi.
int SystemMetrics(int index, UINT dpi);
// SPI_GETNONCLIENTMETRICS as at dpi: fonts and sizes for that DPI. False when the
// system does not answer.
bool NonClientMetrics(NONCLIENTMETRICSW& metrics, UINT dpi);
// The window rectangle for a client rectangle, frame and caption as at dpi.
bool WindowRectForClient(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

// At WM_NCCREATE of a top-level window: where the system has EnableNonClientDpiScaling
// (Windows 10 1607 and later), asks it to scale the window's frame and caption with its
// DPI. Per-monitor V2 does that by itself; per-monitor V1, which 1607 and Server 2016
// fall back to, scales only on request, and WindowRectForClient would then size a frame
// the window does not have.
void EnableNonClientScaling(HWND hwnd);

// Whether the per-monitor calls are in use: the system has them and they are not hidden.
bool NewerCallsAvailable();
// Makes the per-monitor calls unavailable (or available again), so that a Windows 10
// machine or Wine runs the program the way Windows 7 does. For tests.
void HideNewerCalls(bool hide);

}  // namespace win32::dpi
