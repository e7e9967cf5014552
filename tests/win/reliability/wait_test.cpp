// The wait of a detach, as the operator meets it: while a slow server keeps a detach
// waiting, the window paints, answers and shows the wait cursor, presses made meanwhile
// are dropped, and a log-off is refused until the detach has ended.
#include "tests/win/db/listener.h"  // Winsock first, before windows.h

#include <commctrl.h>
#include <delayimp.h>
#include <oleacc.h>

#include <initializer_list>
#include <new>
#include <thread>
#include <utility>

#include "app/busy_wait.h"
#include "base/com_ptr.h"
#include "host/control_site.h"
#include "host/error.h"
#include "win32/win_handles.h"
#include "tests/win/common/message_counter.h"
#include "tests/win/reliability/detach_press.h"

namespace dorvane::test {
namespace {

using DetachWait = DetachPressTest;

// Pixels of a window's client area, as shown, darker than mid-grey: text drawn there.
int DarkPixels(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    const win32::WindowDc dc(hwnd);
    int dark = 0;
    for (int y = 0; y < rc.bottom; ++y) {
        for (int x = 0; x < rc.right; ++x) {
            const COLORREF c = ::GetPixel(dc.get(), x, y);
            if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) ++dark;
        }
    }
    return dark;
}

// The start of a modal loop of a window.
bool StartsAModalLoop(UINT msg, WPARAM, LPARAM) { return msg == WM_ENTERSIZEMOVE || msg == WM_ENTERMENULOOP; }

HWND ShownBox(HWND owner) {
    for (HWND box = nullptr; (box = ::FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;)
        if (::GetWindow(box, GW_OWNER) == owner && ::IsWindowVisible(box)) return box;
    return nullptr;
}

void PointerOver(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// Real input as SendInput queues it: a key (vk, 0 or KEYEVENTF_KEYUP), or with vk 0 a
// mouse button (MOUSEEVENTF_...) at the pointer.
void Send(std::initializer_list<std::pair<WORD, DWORD>> events) {
    for (const auto& [vk, flags] : events) {
        INPUT in{};
        in.type = vk ? INPUT_KEYBOARD : INPUT_MOUSE;
        if (vk)
            in.ki = KEYBDINPUT{vk, 0, flags, 0, 0};
        else
            in.mi.dwFlags = flags;
        ::SendInput(1, &in, sizeof(in));
    }
}

TEST_F(DetachWait, SlowLoginKeepsTheWindowPaintingAndAnswering) {
    // Every answer 1.5 s late: the press waits seconds for the server. The server text is
    // typed just before the press, so the field still has to paint it.
    StandinServer slow = Start({L"--delay-ms", L"1500"});
    const HWND form = form_->Hwnd(), field = form_->ChildWindow(L"Text3");
    ::SetForegroundWindow(form);
    PointerOver(field);
    PumpMessages();
    struct {
        bool Waiting = false, Answered = false, Repainted = false, WaitCursor = false;
        int TextPixels = 0;
    } seen;
    std::thread probe([&] {
        ::Sleep(1500);
        seen.TextPixels = DarkPixels(field);
        DWORD_PTR result = 0;
        seen.Answered = ::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &result) != 0;
        ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        ::Sleep(500);
        seen.Repainted = !::GetUpdateRect(form, nullptr, FALSE) && !::GetUpdateRect(field, nullptr, FALSE);
        CURSORINFO cursor{};
        cursor.cbSize = sizeof(cursor);
        seen.WaitCursor = ::GetCursorInfo(&cursor) && cursor.hCursor == ::LoadCursorW(nullptr, IDC_WAIT);
        seen.Waiting = !ShownBox(form);
    });
    EXPECT_EQ(PressDetach(ServerText(slow)), app::kDetachSucceeded);
    probe.join();
    ASSERT_TRUE(seen.Waiting) << "the detach ended before the probes did";
    EXPECT_GT(seen.TextPixels, 20) << "the typed server text was not painted";
    EXPECT_TRUE(seen.Answered) << "the window did not answer WM_NULL within 2 s";
    EXPECT_TRUE(seen.Repainted) << "the window did not repaint";
    EXPECT_TRUE(seen.WaitCursor) << "no wait cursor over the window";
}

TEST_F(DetachWait, PressesAndALogOffDuringTheWaitEndNothing) {
    // A server that takes the connection, says nothing for 2 s, then drops it.
    WinsockScope winsock;
    SilentListener hanging;
    hanging.AcceptAndCount(2000);
    const HWND form = form_->Hwnd(), detach = form_->ChildWindow(L"Command3");
    ::SetForegroundWindow(form);
    ::SetFocus(detach);
    PumpMessages();
    const base::ComPtr<IAccessible> reader(form_->Button(L"Command3").CreateAccessibleObject());
    testing_support::MessageCounter loops(form, &StartsAModalLoop);
    // Enter, Space and a click on 分离, Alt+F4, a click on 退出, a close request, and a
    // log-off asking whether the session may end. A screen reader meanwhile finds 分离
    // unavailable, and its default actions on 分离 and 打开数据库文件 run nothing; a move
    // of the window posted by another program starts no modal loop inside the wait.
    DWORD_PTR mayEndDuring = 2;
    LONG stateDuring = 0;
    HRESULT actionDuring = S_OK;
    std::thread presser([&] {
        ::Sleep(700);
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        VARIANT state{};
        if (SUCCEEDED(reader->get_accState(self, &state))) stateDuring = state.lVal;
        actionDuring = reader->accDoDefaultAction(self);
        for (HWND button : {detach, form_->ChildWindow(L"Command2")})
            ::PostMessageW(button, host::kDefaultActionMessage, 0, 0);
        ::PostMessageW(form, WM_SYSCOMMAND, SC_MOVE, 0);
        ::Sleep(200);
        const DWORD up = KEYEVENTF_KEYUP;
        Send({{VK_RETURN, 0},
              {VK_RETURN, up},
              {VK_SPACE, 0},
              {VK_SPACE, up},
              {VK_MENU, 0},
              {VK_F4, 0},
              {VK_F4, up},
              {VK_MENU, up}});
        for (HWND button : {detach, form_->ChildWindow(L"XPButton21")}) {
            PointerOver(button);
            Send({{0, MOUSEEVENTF_LEFTDOWN}, {0, MOUSEEVENTF_LEFTUP}});
            ::Sleep(100);
        }
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(form, WM_CLOSE, 0, 0, SMTO_BLOCK, 2000, &result);
        ::SendMessageTimeoutW(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 2000, &mayEndDuring);
    });
    ExpectDriverError(PressDetach(L"127.0.0.1," + std::to_wstring(hanging.Port())));
    presser.join();
    EXPECT_EQ(mayEndDuring, static_cast<DWORD_PTR>(FALSE)) << "a log-off was allowed while the detach waited";
    EXPECT_TRUE(stateDuring & STATE_SYSTEM_UNAVAILABLE) << "分离 was announced as available during the wait";
    EXPECT_NE(actionDuring, S_OK) << "a screen reader's press was taken during the wait";
    EXPECT_EQ(loops.Count(), 0) << "a modal loop ran inside the wait";
    DWORD_PTR mayEndAfter = 2;
    ::SendMessageTimeoutW(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 2000, &mayEndAfter);
    EXPECT_EQ(mayEndAfter, static_cast<DWORD_PTR>(TRUE)) << "a log-off is still refused after the detach";
    // Presses kept for later would run now and connect again: give them the time.
    MessageBoxWatcher late(form, 5000);
    for (const ULONGLONG end = ::GetTickCount64() + 5000; ::GetTickCount64() < end;) {
        PumpMessages();
        ::Sleep(20);
    }
    EXPECT_FALSE(late.Finish()) << "a second detach ran: " << base::ToUtf8(late.Text());
    EXPECT_EQ(hanging.Accepted(), 1);
    EXPECT_TRUE(::IsWindow(form)) << "closed during the wait";
}

TEST_F(DetachWait, TheBoxAfterTheWaitAllowsALogOffShowsTheArrowAndComesBeforeAQuit) {
    // A server that takes the connection and says nothing for 2 s; a quit request comes in
    // the middle of the wait.
    WinsockScope winsock;
    SilentListener hanging;
    hanging.AcceptAndCount(2000);
    const HWND form = form_->Hwnd();
    ::SetWindowTextW(form_->ChildWindow(L"Text3"), (L"127.0.0.1," + std::to_wstring(hanging.Port())).c_str());
    ::SetForegroundWindow(form);
    PointerOver(form_->ChildWindow(L"Text1"));
    PumpMessages();
    const DWORD ui = ::GetCurrentThreadId();
    struct {
        bool Shown = false, StillShown = false, WaitCursor = true;
        DWORD_PTR MayEnd = 2;
    } box;
    std::thread watcher([&] {
        ::Sleep(700);
        ::PostThreadMessageW(ui, WM_QUIT, 7, 0);
        HWND shown = nullptr;
        for (int i = 0; i < 3000 && !shown; ++i, ::Sleep(20)) shown = ShownBox(form);
        box.Shown = shown != nullptr;
        if (!shown) return;
        ::Sleep(300);
        box.StillShown = ::IsWindowVisible(shown) != FALSE;
        ::SendMessageTimeoutW(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 2000, &box.MayEnd);
        // The pointer over the form, as Windows tells it (Wine does not while a box
        // disables the form).
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(form, WM_SETCURSOR, reinterpret_cast<WPARAM>(form), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE),
                              SMTO_BLOCK, 2000, &ignored);
        CURSORINFO cursor{};
        cursor.cbSize = sizeof(cursor);
        box.WaitCursor = ::GetCursorInfo(&cursor) && cursor.hCursor == ::LoadCursorW(nullptr, IDC_WAIT);
        ::PostMessageW(shown, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    form_->Command3_Click();
    watcher.join();
    EXPECT_TRUE(box.Shown) << "no message box";
    EXPECT_TRUE(box.StillShown) << "the box ended at once: the quit request came before it";
    EXPECT_EQ(box.MayEnd, static_cast<DWORD_PTR>(TRUE)) << "a log-off was refused while only the box showed";
    EXPECT_FALSE(box.WaitCursor) << "the wait cursor shows with the box";
    // The quit request comes after the box, once.
    MSG msg{};
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The session of a press that stops its thread with an access violation.
std::optional<std::wstring> FaultingSession(const std::wstring&, const std::wstring&) {
    ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return std::nullopt;
}

TEST_F(DetachWait, AStructuredExceptionOnTheWorksThreadEndsDorvaneOnceTheBoxIsClosed) {
    // The thread stopped where it was, holding what it held: the box says so, and closing
    // it ends the program. (In a process of its own: it does end.)
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring seen = std::wstring(temp) + L"dorvane-abandoned-box.txt";
    ::DeleteFileW(seen.c_str());
    EXPECT_EXIT(
        {
            form_->UseDetachSession(&FaultingSession);
            std::thread reader([&] {
                HWND box = nullptr;
                for (int i = 0; i < 1500 && !box; ++i, ::Sleep(20)) box = ShownBox(form_->Hwnd());
                wchar_t text[2048] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
                const std::string utf8 = base::ToUtf8(text);
                const win32::UniqueFile file(
                    ::CreateFileW(seen.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
                DWORD written = 0;
                ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            });
            reader.detach();
            form_->Command3_Click();
            ::ExitProcess(0);  // not reached when the program ends as it should
        },
        testing::ExitedWithCode(static_cast<int>(app::kAbandonedExitCode)), "");
    std::string text;
    {
        const win32::UniqueFile file(
            ::CreateFileW(seen.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char buf[4096];
        DWORD n = 0;
        if (file && ::ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) text.assign(buf, n);
    }
    ::DeleteFileW(seen.c_str());
    EXPECT_NE(text.find("0xC0000005"), std::string::npos) << text;
    EXPECT_NE(text.find(base::ToUtf8(app::kMustClose)), std::string::npos) << text;
}

TEST_F(DetachWait, WhatEndsTheWorksThreadComesBackToTheWindowsThread) {
    app::BusyWait wait(form_->Hwnd(), nullptr);
    // A C++ exception, as thrown.
    EXPECT_THROW(wait.Run([] { throw std::bad_alloc(); }), std::bad_alloc);
    // A structured exception nothing handles, as the delay-load helper raises it when
    // odbc32.dll cannot be loaded: the work's thread ends, the process goes on, and the
    // error names the DLL with the system's words.
    try {
        wait.Run([] {
            DelayLoadInfo info{};
            info.cb = sizeof(info);
            info.szDll = "odbc32.dll";
            info.dwLastError = ERROR_MOD_NOT_FOUND;
            const ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(&info);
            ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
        });
        ADD_FAILURE() << "Run returned as if the work had ended normally";
    } catch (const app::WorkAbandoned& e) {
        EXPECT_NE(e.Description().find(L"odbc32.dll"), std::wstring::npos) << base::ToUtf8(e.Description());
        EXPECT_GT(e.Description().size(), std::wstring(L"Cannot load odbc32.dll: ").size())
            << base::ToUtf8(e.Description());
    }
    // An access violation, worded by its code.
    try {
        wait.Run([] { ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr); });
        ADD_FAILURE() << "Run returned as if the work had ended normally";
    } catch (const app::WorkAbandoned& e) {
        EXPECT_NE(e.Description().find(L"0xC0000005"), std::wstring::npos) << base::ToUtf8(e.Description());
    }
    // And after all that, work runs as before.
    bool ran = false;
    wait.Run([&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace dorvane::test
