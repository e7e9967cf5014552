#include "app/main_window.h"
#include "base/text.h"

#include <commdlg.h>
#include <objbase.h>

#include <optional>

#include "app/busy_wait.h"
#include "app/detach_rules.h"
#include "app/start_steps.h"
#include "base/error.h"
#include "db/connection.h"
#include "win32/dpi.h"
#include "host/error.h"
#include "win32/high_contrast.h"
#include "win32/system_text.h"
#include "win32/units.h"
#include "resources/resource_ids.h"

namespace app {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// The work area of the screen a window made at CW_USEDEFAULT opens on: the one the
// program that started this one asked for (the shell does, for a start from a task bar
// on another screen), else the primary screen.
RECT StartWorkArea() {
    // STARTF_USEHMONITOR, which MinGW-w64's headers leave out: hStdOutput is the screen.
    constexpr DWORD kStartOnMonitor = 0x00000400;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    ::GetStartupInfoW(&si);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (!(si.dwFlags & kStartOnMonitor) || !::GetMonitorInfoW(reinterpret_cast<HMONITOR>(si.hStdOutput), &mi))
        ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    return mi.rcWork;
}

// The work area of the screen a window is on.
RECT WorkAreaOf(HWND hwnd) {
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &mi);
    return mi.rcWork;
}

// Where a window of this size stands centred in the work area.
POINT CentredIn(const RECT& wa, int w, int h) {
    return POINT{wa.left + (wa.right - wa.left - w) / 2, wa.top + (wa.bottom - wa.top - h) / 2};
}

}  // namespace

host::DesignNode Form1::LoadDesign(HINSTANCE instance) {
    HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(IDR_FORM1_DESIGN), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    HGLOBAL data = res ? ::LoadResource(instance, res) : nullptr;
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    if (!bytes) throw host::Error(host::ErrorNumber::Platform, L"The form's stored design is missing");
    return host::ParseDesign(std::string_view(bytes, ::SizeofResource(instance, res)));
}

std::unique_ptr<Form1> Form1::Create(HINSTANCE instance, const host::DesignNode& design, int nCmdShow) {
    // No class background: the picture paints it. No class icon either: the window's own
    // two, for its DPI, are given at WM_NCCREATE.
    if (!win32::RegisterWindowClass(kForm1ClassName, &win32::ObjectWindow<Form1>::Proc))
        throw host::Error(host::ErrorNumber::Platform, L"Cannot register the main window's class");
    std::unique_ptr<Form1> form(new Form1());
    form->instance_ = instance;
    const std::wstring caption = host::ToText(design.Properties.ReadProperty(L"Caption", std::wstring(L"Dorvane")));
    form->clientWidth_ = host::ToInt32(design.Properties.ReadProperty(L"ClientWidth", 5835));
    form->clientHeight_ = host::ToInt32(design.Properties.ReadProperty(L"ClientHeight", 5310));

    // Made at its size for the system's DPI, which is the window's on most screens, and
    // centred on the screen it opens on: neither the layout nor the centring has anything
    // to move then.
    RECT size{0, 0, win32::TwipsToPixels(form->clientWidth_, win32::dpi::System()),
              win32::TwipsToPixels(form->clientHeight_, win32::dpi::System())};
    win32::dpi::WindowRectForClient(size, kStyle, kExStyle, win32::dpi::System());
    const POINT at = CentredIn(StartWorkArea(), size.right - size.left, size.bottom - size.top);
    HWND hwnd = ::CreateWindowExW(kExStyle, kForm1ClassName, caption.c_str(), kStyle, at.x, at.y,
                                  size.right - size.left, size.bottom - size.top, nullptr, nullptr, instance, form.get());
    if (!hwnd) throw host::Error(host::ErrorNumber::Platform, L"Cannot create the main window");
    start_steps::Mark(start_steps::FormWindow);

    form->picture_.Load(instance, IDR_BANNER);
    form->container_ = std::make_unique<host::FormContainer>(hwnd);
    form->BuildChildren(design);
    // The children are made in their places for the window's DPI; the window itself was
    // made for the system's, and only a window that opens on a screen of another DPI
    // needs its size again, and to be centred again at that size.
    if (form->dpi_ != win32::dpi::System()) {
        form->Layout(nullptr);
        RECT rc{};
        ::GetWindowRect(hwnd, &rc);
        const POINT centred = CentredIn(WorkAreaOf(hwnd), rc.right - rc.left, rc.bottom - rc.top);
        ::SetWindowPos(hwnd, nullptr, centred.x, centred.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    start_steps::Mark(start_steps::Layout);

    ::ShowWindow(hwnd, nCmdShow);
    ::UpdateWindow(hwnd);
    // The focus starts on the focusable control with the lowest tab index.
    if (HWND first = form->ChildWindow(L"Text1")) ::SetFocus(first);
    start_steps::Mark(start_steps::Shown);
    return form;
}

Form1::~Form1() {
    if (container_) container_->TerminateAll();
    if (hwnd_ && ::IsWindow(hwnd_)) {
        win32::ObjectWindow<Form1>::Detach(hwnd_);
        ::DestroyWindow(hwnd_);
    }
}

int Form1::Run() {
    MSG msg;
#ifdef DORVANE_BENCH
    // The first paint is complete when the queue is first empty: WM_PAINT comes last.
    bool painted = false;
#endif
    while (true) {
#ifdef DORVANE_BENCH
        if (!painted && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            painted = true;
            start_steps::Mark(start_steps::FirstPaint);
        }
#endif
        if (::GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
        if (container_ && container_->PreTranslateMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

HWND Form1::ChildWindow(const std::wstring& name) const {
    for (const auto& c : children_)
        if (base::EqualsIgnoringCase(c.Name, name)) return c.Window;
    return nullptr;
}

host::ControlSite& Form1::Button(const std::wstring& name) const {
    host::ControlSite* site = container_->FindSite(name);
    if (!site) throw host::Error(host::ErrorNumber::NotSupported, L"No control named " + name);
    return *site;
}

void Form1::SetReadOut(HWND field, const std::wstring& text) {
    // The whole text, scrolled to its end: a long path then shows the chosen file's name
    // rather than its drive and first folders.
    ::SetWindowTextW(field, text.c_str());
    const auto end = static_cast<WPARAM>(text.size());
    ::SendMessageW(field, EM_SETSEL, end, static_cast<LPARAM>(end));
    ::SendMessageW(field, EM_SCROLLCARET, 0, 0);
}

namespace {

// Where the open dialog starts: the DataSource folder beside the program, which the
// window's hint names, or the program's own folder when there is none. Without a folder
// Windows 7 and later start in Documents.
std::wstring DataSourceFolder() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    const size_t slash = path.find_last_of(L"\\/");
    if (n == 0 || slash == std::wstring::npos) return {};
    path.resize(slash);
    const std::wstring data = path + L"\\DataSource";
    const DWORD attributes = ::GetFileAttributesW(data.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? data : path;
}

}  // namespace

void Form1::Command2_Click() {
    CommonDialog1.Filter = L"*.MDF|*.MDF";
    CommonDialog1.InitDir = DataSourceFolder();
    CommonDialog1.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    try {
        CommonDialog1.ShowOpen(hwnd_);
    } catch (const host::Error& e) {
        // Without its dialog the handler cannot choose anything; say why instead of
        // failing silently.
        ::MessageBoxW(hwnd_, e.Description().c_str(), L"Dorvane", MB_OK);
        return;
    }
    if (CommonDialog1.FileName().empty()) return;
    TakeChosenFile(CommonDialog1.FileName(), CommonDialog1.FileTitle());
}

void Form1::TakeChosenFile(const std::wstring& P, const std::wstring& T) {
    SetReadOut(ChildWindow(L"Text1"), P);
    m = P;
    l = DeriveLogPath(P);
    SetReadOut(ChildWindow(L"Text2"), l);
    strdata = DeriveDatabaseName(T);
}

// One press's session: the connection is made, used and released on the calling thread.
// Every failure ends as its description text, for the one message box.
std::optional<std::wstring> Form1::DetachInOneSession(const std::wstring& server, const std::wstring& statement) {
    try {
        // The ODBC manager from the system folder, never a DLL of its name beside the
        // program; the connection layer's calls then find it loaded.
        if (!win32::LoadSystemLibrary(L"odbc32.dll")) {
            const DWORD error = ::GetLastError();
            throw host::Error(host::ErrorNumber::Platform,
                              win32::WithSystemText(L"Cannot load odbc32.dll from the system folder", error) +
                                  L" (error " + std::to_wstring(error) + L")");
        }
        // The connection string names no login timeout, so the connection layer's default is
        // the detach's: a different one goes into BuildConnectionString as Connect Timeout.
        static_assert(kDetachLoginTimeoutSeconds == db::kDefaultLoginTimeoutSeconds);
        db::Connection cn;
        cn.Open(BuildConnectionString(server), L"", L"", db::kOptionUnspecified);
        cn.SetCommandTimeout(kDetachStatementTimeoutSeconds);
        cn.Execute(statement, db::kOptionUnspecified);
        return std::nullopt;
    } catch (const std::exception& e) {
        // The connection layer's and the host's errors carry the text the operator
        // reads; anything else (out of memory, say) is worded by what() alone.
        return base::Describe(e);
    }
}

void Form1::Command3_Click() {
    // A press that reaches here while a detach is under way (a screen reader's default
    // action while its message box shows, say) starts no second one.
    if (busy_) return;
    busy_ = true;
    struct Done {
        bool& Flag;
        ~Done() { Flag = false; }
    } done{busy_};
    const std::wstring S = win32::WindowText(ChildWindow(L"Text3"));
    const std::wstring statement = BuildDetachStatement(strdata);
    std::optional<std::wstring> failure;
    std::optional<int> quit;
    bool abandoned = false;
    {
        // The one place with a second thread. Waiting for the server on this thread
        // would stop the window from painting and answering for as long as the login
        // takes (kDetachLoginTimeoutSeconds against a silent server), and Windows would
        // offer the operator to end the program in the middle of a detach. So the session
        // runs on a thread of its own (made, used and released there), while this thread
        // paints and answers and drops the input meanwhile: to the operator it is still one
        // blocking press.
        // A log-off or shutdown meanwhile is refused (WM_QUERYENDSESSION) with this reason
        // shown, so the operator learns what the detach ends with. The message box that
        // follows is no longer waiting: a log-off may end it.
        BusyWait wait(hwnd_, kDetachingReason);
        try {
            wait.Run([&] { failure = session_(S, statement); });
        } catch (const WorkAbandoned& e) {
            failure = e.Description() + L"\n\n" + kMustClose;
            abandoned = true;
        } catch (const std::exception& e) {
            // Whatever else ended the work (out of memory, a thread that cannot be
            // started) is told in the same box as any other failure.
            failure = base::Describe(e);
        }
        quit = wait.QuitRequested();
    }
    ::MessageBoxW(hwnd_, failure ? failure->c_str() : kDetachSucceeded, kDetachTitle, MB_OK);
    // The work's thread stopped holding what it held: nothing can safely run after it,
    // not even the DLLs' close-down, which could wait for those locks.
    if (abandoned) ::TerminateProcess(::GetCurrentProcess(), kAbandonedExitCode);
    // A quit asked for during the wait comes after the box.
    if (quit) ::PostQuitMessage(*quit);
}

void Form1::XPButton21_Click() {
    // Ends the program at once: no close-down code of the window or its controls runs.
    ::ExitProcess(0);
}

// The buttons' Click handlers by the design's name of the button.
const Form1::ButtonHandler Form1::kButtonHandlers[] = {
    {L"Command2", &Form1::Command2_Click},
    {L"Command3", &Form1::Command3_Click},
    {L"XPButton21", &Form1::XPButton21_Click},
};

void Form1::ConnectClick(const std::wstring& name, xpbutton::XPButton2& button) {
    // (While a detach waits, no click arrives: the form holds its input off.)
    for (const ButtonHandler& h : kButtonHandlers)
        if (name == h.Name) button.Events.Click = [this, handler = h.Click] { (this->*handler)(); };
}

LRESULT Form1::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Each message's parameters are taken apart here, once; a handler without an answer
    // of its own leaves the message to the default handling.
    std::optional<LRESULT> answer;
    switch (msg) {
        case WM_NCCREATE:
            OnNcCreate(hwnd);
            break;
        case WM_ERASEBKGND:
            answer = OnEraseBackground(reinterpret_cast<HDC>(wParam));
            break;
        case WM_CTLCOLORSTATIC:
            answer = OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            break;
        case WM_ACTIVATE:
            answer = OnActivate(LOWORD(wParam) != WA_INACTIVE);
            break;
        case WM_SETCURSOR:
            answer = OnSetCursor();
            break;
        case WM_CLOSE:
            answer = OnClose();
            break;
        case WM_SYSCOMMAND:
            answer = OnSysCommand(static_cast<UINT>(wParam & 0xFFF0));
            break;
        case WM_QUERYENDSESSION:
            answer = OnQueryEndSession();
            break;
        case WM_ENDSESSION:
            OnEndSession(wParam != FALSE);
            break;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            if (msg == WM_SYSCOLORCHANGE || wParam == SPI_SETHIGHCONTRAST) OnColourSchemeChange(msg, wParam, lParam);
            break;
        case WM_DPICHANGED:
            answer = OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            break;
        case WM_DESTROY:
            answer = OnDestroy();
            break;
        default:
            break;
    }
    return answer ? *answer : ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void Form1::OnNcCreate(HWND hwnd) {
    hwnd_ = hwnd;
    dpi_ = win32::dpi::ForWindow(hwnd);
    win32::dpi::EnableNonClientScaling(hwnd);
    // Both icon sizes, for the title bar and the task bar, given before the window has a
    // frame to draw them in.
    start_steps::Mark(start_steps::FormWindow);
    bigIcon_.reset(static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_DORVANE), IMAGE_ICON,
                                                   win32::dpi::SystemMetrics(SM_CXICON, dpi_),
                                                   win32::dpi::SystemMetrics(SM_CYICON, dpi_), 0)));
    smallIcon_.reset(static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_DORVANE), IMAGE_ICON,
                                                     win32::dpi::SystemMetrics(SM_CXSMICON, dpi_),
                                                     win32::dpi::SystemMetrics(SM_CYSMICON, dpi_), 0)));
    // The small one first: a big icon given alone has a small copy made from it, which the
    // small one would only replace.
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    start_steps::Mark(start_steps::Icons);
}

LRESULT Form1::OnEraseBackground(HDC dc) {
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    if (win32::HighContrastOn()) {
        // The user's window colour; the banner tells nothing the caption does not.
        ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
        return 1;
    }
    // The labels' brushes come from the same decode of the picture.
    std::vector<RECT> labels;
    for (const auto& c : children_)
        if (c.Kind == ChildKind::Label) labels.push_back(PlacedRect(c.Window));
    start_steps::Mark(start_steps::Shown);
    const SIZE drawn = picture_.Draw(dc, dpi_, labels);
    start_steps::Mark(start_steps::Banner);
    // White where the picture does not reach.
    const int saved = ::SaveDC(dc);
    ::ExcludeClipRect(dc, 0, 0, drawn.cx, drawn.cy);
    ::FillRect(dc, &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::RestoreDC(dc, saved);
    return 1;
}

std::optional<LRESULT> Form1::OnCtlColorStatic(HDC dc, HWND child) {
    // Labels are transparent: they show the picture behind them.
    for (const auto& c : children_) {
        if (c.Window != child || c.Kind != ChildKind::Label) continue;
        if (win32::HighContrastOn()) {
            // The user's colours. A label's own colour (the red hint) stays where it
            // reads on the window colour; the hint names the file to pick.
            const COLORREF window = ::GetSysColor(COLOR_WINDOW), text = ::GetSysColor(COLOR_WINDOWTEXT);
            const bool own = (c.TextColour & 0x80000000u) == 0;
            ::SetTextColor(dc, own ? win32::ReadableOn(window, c.TextColour, text) : text);
            ::SetBkColor(dc, window);
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, host::ControlSite::ResolveColour(c.TextColour));
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        return reinterpret_cast<LRESULT>(picture_.BrushFor(PlacedRect(child), dpi_));
    }
    return std::nullopt;
}

RECT Form1::PlacedRect(HWND child) const {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::optional<LRESULT> Form1::OnActivate(bool active) {
    // The focus comes back to the control that had it when the window was last active
    // (after the open dialog or a message box, say).
    if (!active) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
    } else if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsChild(hwnd_, lastFocus_)) {
        ::SetFocus(lastFocus_);
        return 0;
    }
    return std::nullopt;
}

bool Form1::WaitingForServer() const { return host::InputHeldOff(hwnd_); }

std::optional<LRESULT> Form1::OnSetCursor() {
    if (!WaitingForServer()) return std::nullopt;
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    return TRUE;
}

std::optional<LRESULT> Form1::OnClose() {
    // While a detach waits for the server a close request is dropped, as clicks and keys
    // are: the detach still ends with its message box. Once the box shows, a close (as
    // Restart Manager asks before an update) ends the program as usual.
    if (WaitingForServer()) return 0;
    return std::nullopt;
}

std::optional<LRESULT> Form1::OnSysCommand(UINT command) {
    // While a detach is under way, system commands come only from elsewhere (the form
    // holds its input off, then its message box has the input): a move or the window menu
    // would start a modal loop inside the wait or under the box. Minimising and restoring
    // from the task bar still work.
    if (busy_ && command != SC_MINIMIZE && command != SC_RESTORE) return 0;
    return std::nullopt;
}

std::optional<LRESULT> Form1::OnQueryEndSession() {
    // A log-off would end the process while sp_detach_db may still run, and the operator
    // would never learn how it ended: not while a detach waits for the server.
    if (WaitingForServer()) return FALSE;
    return std::nullopt;
}

void Form1::OnEndSession(bool ending) {
    // A forced end (the operator chose to log off anyway): the session goes, and with it
    // the process. The work's thread may be inside the driver, so the end is immediate,
    // without the DLLs' close-down; the database files are only ever touched by the server.
    if (ending && WaitingForServer()) ::TerminateProcess(::GetCurrentProcess(), 1);
}

void Form1::OnColourSchemeChange(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A new colour scheme, High Contrast on or off: the children hear of it (the text
    // fields, being common controls, and the buttons), and everything is painted again in
    // the new colours.
    for (const auto& c : children_) ::SendMessageW(c.Window, msg, wParam, lParam);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

LRESULT Form1::OnDpiChanged(UINT dpi, const RECT& suggested) {
    // New fonts and places for the children, then one move to the rectangle Windows
    // suggests (moving and sizing apart can bounce a window that is being dragged across
    // monitors back, and bring the message again), and everything painted again: the
    // children keep text drawn at the old DPI otherwise.
    dpi_ = dpi;
    Layout(&suggested);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    return 0;
}

LRESULT Form1::OnDestroy() {
    // The buttons close down while the form's window still exists, so their hooks on it
    // come off cleanly.
    if (container_) container_->TerminateAll();
    ::PostQuitMessage(0);
    return 0;
}

}  // namespace app
