// The wait of a detach, as the operator meets it: while a slow server keeps a detach
// waiting, the window paints, answers and shows the wait cursor, presses made meanwhile
// are dropped, and a log-off is refused until the detach has ended.
#include "tests/win/db/listener.h"  // Winsock first, before windows.h

#include <delayimp.h>

#include <initializer_list>
#include <new>
#include <thread>
#include <utility>

#include "app/busy_wait.h"
#include "host/error.h"
#include "win32/win_handles.h"
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

bool BoxShown(HWND owner) {
    for (HWND box = nullptr; (box = ::FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;)
        if (::GetWindow(box, GW_OWNER) == owner && ::IsWindowVisible(box)) return true;
    return false;
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
        seen.Waiting = !BoxShown(form);
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
    // Enter, Space and a click on 分离, Alt+F4, a click on 退出, a close request, and a
    // log-off asking whether the session may end.
    DWORD_PTR mayEndDuring = 2;
    std::thread presser([&] {
        ::Sleep(700);
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
    } catch (const host::Error& e) {
        EXPECT_NE(e.Description().find(L"odbc32.dll"), std::wstring::npos) << base::ToUtf8(e.Description());
        EXPECT_GT(e.Description().size(), std::wstring(L"Cannot load odbc32.dll: ").size())
            << base::ToUtf8(e.Description());
    }
    // An access violation, worded by its code.
    try {
        wait.Run([] { ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr); });
        ADD_FAILURE() << "Run returned as if the work had ended normally";
    } catch (const host::Error& e) {
        EXPECT_NE(e.Description().find(L"0xC0000005"), std::wstring::npos) << base::ToUtf8(e.Description());
    }
    // And after all that, work runs as before.
    bool ran = false;
    wait.Run([&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace dorvane::test
