// Failures of the server as Dorvane meets them through the real client stack: the
// connection dropped after login or during the statement, an answer later than the login
// timeout, the server killed while a connection is open. Each time the operator gets
// one message box titled "分离数据库" with the error's text, the window stays usable,
// the next detach against a healthy server succeeds, and nothing hangs. While a slow
// server keeps a detach waiting, the window paints, answers and shows the wait cursor,
// and presses made meanwhile are dropped.
#include "base/text.h"
#include "tests/win/db/listener.h"  // Winsock first, before windows.h

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <optional>
#include <initializer_list>
#include <thread>
#include <utility>

#include "app/detach_rules.h"
#include "app/main_window.h"
#include "db/connection.h"
#include "db/error.h"
#include "host/win_handles.h"
#include "tests/win/reliability/reliability_support.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"

namespace dorvane::test {
namespace {

// Longest a failing press may take before the test calls it a hang: the default login
// timeout (15 s) plus the driver's own slack.
constexpr DWORD kBoxLimitMs = 60000;

std::wstring ServerText(const StandinServer& s) { return L"127.0.0.1," + std::to_wstring(s.Port()); }

class Faults : public testing::Test {
protected:
    void SetUp() override {
        folder_.AddDatabase(L"db_ZVQ");
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        form_ = app::Form1::Create(instance, app::Form1::LoadDesign(instance), SW_SHOW);
        PumpMessages();
        form_->strdata = L"db_ZVQ";
    }
    void TearDown() override {
        form_.reset();
        PumpMessages();
    }

    StandinServer Start(std::vector<std::wstring> extra = {}) {
        std::vector<std::wstring> args{L"--data", folder_.UnixPath()};
        args.insert(args.end(), extra.begin(), extra.end());
        return StandinServer::Start(args);
    }

    // Presses "分离" against `server` and returns the message box's text; fails the test
    // when no box titled "分离数据库" appeared in time.
    std::wstring PressDetach(const std::wstring& server) {
        ::SetWindowTextW(form_->ChildWindow(L"Text3"), server.c_str());
        MessageBoxWatcher watcher(form_->hwnd(), kBoxLimitMs);
        form_->Command3_Click();
        EXPECT_TRUE(watcher.Finish()) << "no message box within " << kBoxLimitMs << " ms";
        EXPECT_EQ(watcher.Title(), app::kDetachTitle);
        return watcher.Text();
    }

    // The window after a failure: enabled, answering messages, fields unchanged, and a
    // detach against a healthy server succeeds.
    void ExpectUsableAndNextDetachWorks() {
        EXPECT_TRUE(::IsWindow(form_->hwnd()));
        EXPECT_TRUE(::IsWindowEnabled(form_->hwnd()));
        DWORD_PTR result = 0;
        EXPECT_NE(::SendMessageTimeoutW(form_->hwnd(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
        EXPECT_EQ(form_->strdata, L"db_ZVQ");
        StandinServer healthy = Start();
        EXPECT_EQ(PressDetach(ServerText(healthy)), app::kDetachSucceeded);
        CheckSession check(healthy.Port());
        ASSERT_TRUE(check.Connected());
        EXPECT_EQ(check.Column(L"SELECT name FROM sys.databases WHERE name = N'db_ZVQ'"), std::vector<std::wstring>{});
    }

    // The box after a failed press shows the driver's own description of the failure.
    // (Which words FreeTDS picks for a dropped connection depends on when it notices:
    // "Unexpected EOF from the server" or "Unknown error"; both are its texts.)
    static void ExpectDriverError(const std::wstring& text) {
        EXPECT_NE(text, app::kDetachSucceeded);
        EXPECT_EQ(text.rfind(L"[FreeTDS][SQL Server]", 0), 0u) << base::ToUtf8(text);
        EXPECT_GT(text.size(), std::wstring(L"[FreeTDS][SQL Server]").size()) << base::ToUtf8(text);
    }

    SampleFolder folder_;
    std::unique_ptr<app::Form1> form_;
};

TEST_F(Faults, ConnectionDroppedAfterLogin) {
    StandinServer faulty = Start({L"--fault", L"drop-after-login"});
    ExpectDriverError(PressDetach(ServerText(faulty)));
    ExpectUsableAndNextDetachWorks();
}

TEST_F(Faults, ConnectionDroppedDuringExecute) {
    StandinServer faulty = Start({L"--fault", L"drop-during-execute"});
    ExpectDriverError(PressDetach(ServerText(faulty)));
    ExpectUsableAndNextDetachWorks();
}

TEST_F(Faults, AnswerLaterThanAShortConnectTimeout) {
    StandinServer slow = Start({L"--delay-ms", L"8000"});
    const std::wstring text = L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='" + ServerText(slow) +
                              L"';User ID=sa;Initial Catalog=master;Connect Timeout=2";
    db::Connection connection;
    const ULONGLONG start = ::GetTickCount64();
    try {
        connection.Open(text, L"", L"");
        ADD_FAILURE() << "Open succeeded against a server slower than the timeout";
    } catch (const db::Error& e) {
        ExpectDriverError(e.Description());
        std::cout << "timed out after " << ::GetTickCount64() - start << " ms: " << e.what() << std::endl;
    }
    EXPECT_FALSE(connection.IsOpen());
}

TEST_F(Faults, AnswerLaterThanTheDefaultLoginTimeout) {
    // Slower than the 15 s Form1 connects with; the press ends with the timeout's text.
    StandinServer slow = Start({L"--delay-ms", L"25000"});
    ExpectDriverError(PressDetach(ServerText(slow)));
    slow.Kill();  // its delayed answers would only keep the test waiting
    ExpectUsableAndNextDetachWorks();
}

// Pixels of a window's client area, as shown, darker than mid-grey: text drawn there.
int DarkPixels(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    const host::WindowDc dc(hwnd);
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

TEST_F(Faults, SlowLoginKeepsTheWindowPaintingAndAnswering) {
    // Every answer 1.5 s late: the press waits seconds for the server. The server text is
    // typed just before the press, so the field still has to paint it.
    StandinServer slow = Start({L"--delay-ms", L"1500"});
    const HWND form = form_->hwnd(), field = form_->ChildWindow(L"Text3");
    ::SetForegroundWindow(form);
    PointerOver(field);
    PumpMessages();
    struct {
        bool waiting = false, answered = false, repainted = false, waitCursor = false;
        int textPixels = 0;
    } seen;
    std::thread probe([&] {
        ::Sleep(1500);
        seen.textPixels = DarkPixels(field);
        DWORD_PTR result = 0;
        seen.answered = ::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &result) != 0;
        ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        ::Sleep(500);
        seen.repainted = !::GetUpdateRect(form, nullptr, FALSE) && !::GetUpdateRect(field, nullptr, FALSE);
        CURSORINFO cursor{};
        cursor.cbSize = sizeof(cursor);
        seen.waitCursor = ::GetCursorInfo(&cursor) && cursor.hCursor == ::LoadCursorW(nullptr, IDC_WAIT);
        seen.waiting = !BoxShown(form);
    });
    EXPECT_EQ(PressDetach(ServerText(slow)), app::kDetachSucceeded);
    probe.join();
    ASSERT_TRUE(seen.waiting) << "the detach ended before the probes did";
    EXPECT_GT(seen.textPixels, 20) << "the typed server text was not painted";
    EXPECT_TRUE(seen.answered) << "the window did not answer WM_NULL within 2 s";
    EXPECT_TRUE(seen.repainted) << "the window did not repaint";
    EXPECT_TRUE(seen.waitCursor) << "no wait cursor over the window";
}

TEST_F(Faults, PressesDuringTheWaitStartNoSecondDetach) {
    // A server that takes the connection, says nothing for 2 s, then drops it.
    WinsockScope winsock;
    SilentListener hanging;
    hanging.AcceptAndCount(2000);
    const HWND form = form_->hwnd(), detach = form_->ChildWindow(L"Command3");
    ::SetForegroundWindow(form);
    ::SetFocus(detach);
    PumpMessages();
    // Enter, Space and a click on 分离, Alt+F4, a click on 退出, and a close request.
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
    });
    ExpectDriverError(PressDetach(L"127.0.0.1," + std::to_wstring(hanging.Port())));
    presser.join();
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

TEST_F(Faults, ServerKilledWhileAConnectionIsOpen) {
    StandinServer doomed = Start();
    db::Connection connection;
    connection.Open(app::BuildConnectionString(ServerText(doomed)), L"", L"");
    ASSERT_TRUE(connection.IsOpen());
    doomed.Kill();
    try {
        connection.Execute(app::BuildDetachStatement(L"db_ZVQ"));
        ADD_FAILURE() << "Execute succeeded on a connection whose server was killed";
    } catch (const db::Error& e) {
        ExpectDriverError(e.Description());
        std::cout << "after the kill: " << e.what() << std::endl;
    }
    // Releasing the broken connection returns; so does a press against the dead port.
    connection = db::Connection();
    ExpectDriverError(PressDetach(ServerText(doomed)));
    ExpectUsableAndNextDetachWorks();
}

}  // namespace
}  // namespace dorvane::test
