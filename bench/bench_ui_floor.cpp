// The UI floor for the start-up figure: Form1's window and its ten children as the
// platform alone makes and draws them, with none of Dorvane's code. The same window
// styles and client size, the same children (three text fields, four labels, three
// buttons) with their texts, places and fonts as Form1's stored design gives them,
// Common Controls 6 through the same manifest, and a flat background where Form1 has its
// banner. The buttons are the platform's own push buttons, with the same caption font.
// Built with the same toolchain and flags as Dorvane.exe, for each architecture. Started
// with the launcher's --steps, it marks the steps it shares with Dorvane's start
// (app/start_steps.h), so the two breakdowns can be read side by side.
#include <windows.h>

#include <commctrl.h>

#include <cmath>

#include "app/start_steps.h"
#include "win32/win_handles.h"

namespace {

constexpr wchar_t kClassName[] = L"DorvaneBenchUiFloor";

enum class Kind { Edit, Label, Button };

// Form1's children in tab order (the order they are made in), written out from its stored
// design: place in twips; a button's size from its extent (0.01 mm), a label's from its text.
struct Child {
    Kind What;
    const wchar_t* Text;
    int Left, Top, Width, Height;
    COLORREF Colour;
};
constexpr Child kChildren[] = {
    {Kind::Edit, L"", 360, 2640, 4935, 375, 0},
    {Kind::Edit, L"", 360, 3480, 4935, 375, 0},
    {Kind::Label, L"主文件(MDF)信息", 360, 2400, 0, 0, 0},
    {Kind::Label, L"Log文件信息", 360, 3120, 0, 0, 0},
    {Kind::Label, L"SQL数据库IP地址或机器名(本地可为空)", 360, 1560, 0, 0, 0},
    {Kind::Edit, L"", 360, 1800, 4935, 375, 0},
    {Kind::Label, L"选择“DataSource”文件夹内的“db_ZVQ_Data.MDF”文件", 240, 4800, 0, 0, RGB(255, 0, 0)},
    {Kind::Button, L"分离", 2280, 4080, 2566, 873, 0},
    {Kind::Button, L"打开数据库文件", 360, 4200, 2778, 661, 0},
    {Kind::Button, L"退出", 3960, 4200, 2355, 661, 0},
};
constexpr int kClientWidth = 5835, kClientHeight = 5310;  // twips
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

HWND g_hint = nullptr;  // the label in its own colour

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CTLCOLORSTATIC: {
            // Labels on the flat background, the hint in its own colour.
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, reinterpret_cast<HWND>(lParam) == g_hint ? RGB(255, 0, 0) : RGB(0, 0, 0));
            return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

namespace steps = app::start_steps;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    steps::Mark(steps::ProcessStart);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    steps::Mark(steps::CommonControls);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);

    const int dpi = ::GetDeviceCaps(win32::WindowDc(nullptr).get(), LOGPIXELSY);
    auto twips = [dpi](int t) { return ::MulDiv(t, dpi, 1440); };
    auto extent = [dpi](int e) { return static_cast<int>(std::lround(e * static_cast<double>(dpi) / 2540)); };

    RECT rc{0, 0, twips(kClientWidth), twips(kClientHeight)};
    ::AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND hwnd = ::CreateWindowExW(kExStyle, kClassName, L"Dorvane", kStyle, work.left + (work.right - work.left - w) / 2,
                                  work.top + (work.bottom - work.top - h) / 2, w, h, nullptr, nullptr, instance, nullptr);
    steps::Mark(steps::FormWindow);

    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    win32::UniqueFont uiFont(::CreateFontIndirectW(&ncm.lfMessageFont));
    LOGFONTW verdana{};
    verdana.lfHeight = -static_cast<LONG>(std::lround(8.25 * dpi / 72));
    verdana.lfWeight = FW_NORMAL;
    verdana.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpyW(verdana.lfFaceName, L"Verdana");
    win32::UniqueFont buttonFont(::CreateFontIndirectW(&verdana));
    steps::Mark(steps::Fonts);

    for (const Child& c : kChildren) {
        HWND child = nullptr;
        const int x = twips(c.Left), y = twips(c.Top);
        if (c.What == Kind::Edit) {
            child = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", c.Text,
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, x, y, twips(c.Width),
                                      twips(c.Height), hwnd, nullptr, instance, nullptr);
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont.get()), FALSE);
        } else if (c.What == Kind::Label) {
            child = ::CreateWindowExW(0, L"STATIC", c.Text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, x, y, 0, 0,
                                      hwnd, nullptr, instance, nullptr);
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont.get()), FALSE);
            win32::WindowDc dc(child);
            win32::SelectedObject font(dc.get(), uiFont.get());
            SIZE sz{};
            ::GetTextExtentPoint32W(dc.get(), c.Text, ::lstrlenW(c.Text), &sz);
            ::SetWindowPos(child, nullptr, 0, 0, sz.cx, sz.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            if (c.Colour) g_hint = child;
        } else {
            child = ::CreateWindowExW(0, L"BUTTON", c.Text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, y,
                                      extent(c.Width), extent(c.Height), hwnd, nullptr, instance, nullptr);
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont.get()), FALSE);
        }
    }
    steps::Mark(steps::ChildWindows);

    ::ShowWindow(hwnd, show);
    ::UpdateWindow(hwnd);
    steps::Mark(steps::Shown);
    MSG msg;
    bool painted = false;  // the first paint is complete when the queue is first empty
    while (true) {
        if (!painted && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            painted = true;
            steps::Mark(steps::FirstPaint);
        }
        if (::GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
        if (::IsDialogMessageW(hwnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
