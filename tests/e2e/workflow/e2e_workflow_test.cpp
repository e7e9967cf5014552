// Dorvane.exe started as its own process and driven from outside it, as an operator
// would: keyboard only, then by mouse, against a stand-in SQL Server through the real
// client stack. The looks are checked on the screen's pixels and saved as screenshots.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "win32/win_handles.h"
#include "tests/e2e/workflow/screen_capture.h"
#include "tests/win/form/modal_driver.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"

namespace dorvane::test {
namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buf[4096] = {};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, &ignored);
    return buf;
}

void Keys(std::initializer_list<std::pair<WORD, bool>> strokes) {
    std::vector<INPUT> in;
    for (const auto& [vk, up] : strokes) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    }
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    std::this_thread::sleep_for(80ms);
}
void Press(WORD vk) { Keys({{vk, false}, {vk, true}}); }
void ShiftTab() { Keys({{VK_SHIFT, false}, {VK_TAB, false}, {VK_TAB, true}, {VK_SHIFT, true}}); }

void Type(const std::wstring& text) {
    std::vector<INPUT> in;
    for (wchar_t c : text) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wScan = c;
        i.ki.dwFlags = KEYEVENTF_UNICODE;
        in.push_back(i);
        i.ki.dwFlags |= KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    std::this_thread::sleep_for(150ms);
}

void MoveTo(POINT p) {
    ::SetCursorPos(p.x, p.y);
    INPUT i{};
    i.type = INPUT_MOUSE;
    i.mi.dwFlags = MOUSEEVENTF_MOVE;  // a zero move, so the window hears of the position
    ::SendInput(1, &i, sizeof(INPUT));
    std::this_thread::sleep_for(150ms);
}

void Mouse(DWORD flags) {
    INPUT i{};
    i.type = INPUT_MOUSE;
    i.mi.dwFlags = flags;
    ::SendInput(1, &i, sizeof(INPUT));
    std::this_thread::sleep_for(120ms);
}

void Click(POINT p) {
    MoveTo(p);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Mouse(MOUSEEVENTF_LEFTUP);
}

POINT Centre(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The colour of a button's left side band, half way down, as the screen shows it.
COLORREF SideBand(HWND button) {
    RECT r{};
    ::GetWindowRect(button, &r);
    return ScreenPixelAt(r.left + 1, (r.top + r.bottom) / 2);
}
bool IsOrange(COLORREF c) { return GetRValue(c) > GetBValue(c) + 60; }
bool IsBlue(COLORREF c) { return GetBValue(c) > GetRValue(c) + 30; }

struct ChildFinder {
    DWORD Pid;
    HWND Form = nullptr;
};

BOOL CALLBACK FindForm(HWND hwnd, LPARAM lParam) {
    auto* f = reinterpret_cast<ChildFinder*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {};
    ::GetClassNameW(hwnd, cls, 64);
    if (pid == f->Pid && wcscmp(cls, L"DorvaneForm1") == 0 && ::IsWindowVisible(hwnd)) {
        f->Form = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Dorvane.exe running in its own process, from a copy in `folder` (whose DataSource
// folder holds the data, as a user keeps it), started there.
class Dorvane {
public:
    explicit Dorvane(const std::wstring& folder) {
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        const std::wstring exe = folder + L"\\Dorvane.exe";
        if (!::CopyFileW(DORVANE_EXE, exe.c_str(), FALSE)) return;
        std::wstring cmd = L"\"" + exe + L"\"";
        PROCESS_INFORMATION pi{};
        Started = ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi);
        if (!Started) return;
        process_.reset(pi.hProcess);
        thread_.reset(pi.hThread);
        threadId_ = pi.dwThreadId;
        ChildFinder f{pi.dwProcessId};
        WaitFor([&] {
            ::EnumWindows(&FindForm, reinterpret_cast<LPARAM>(&f));
            return f.Form != nullptr;
        });
        form_ = f.Form;
        std::this_thread::sleep_for(300ms);
        if (form_) ::SetForegroundWindow(form_);
    }
    ~Dorvane() {
        if (Started) {
            if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.get(), 99);
            ::WaitForSingleObject(process_.get(), 10000);
        }
    }
    Dorvane(const Dorvane&) = delete;
    Dorvane& operator=(const Dorvane&) = delete;

    HWND Form() const { return form_; }
    HWND Button(const wchar_t* caption) const { return ::FindWindowExW(form_, nullptr, L"XPButton2", caption); }
    HWND Edit(int index) const {  // 0 Text1, 1 Text2, 2 Text3: created in that order
        HWND e = nullptr;
        for (int i = 0; i <= index; ++i) e = ::FindWindowExW(form_, e, L"Edit", nullptr);
        return e;
    }
    // The exit code once the process has ended within the limit, or -1.
    long WaitForExit(DWORD ms) const {
        if (::WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(process_.get(), &code);
        return static_cast<long>(code);
    }
    HWND FocusedWindow() const {
        GUITHREADINFO gti{};
        gti.cbSize = sizeof(gti);
        ::GetGUIThreadInfo(threadId_, &gti);
        return gti.hwndFocus;
    }
    void Shot(const std::wstring& name) const {
        ::CreateDirectoryW(DORVANE_SHOTS, nullptr);
        RECT r{};
        ::GetWindowRect(form_, &r);
        SaveScreenRect(r, std::wstring(DORVANE_SHOTS) + L"\\" + name + L".bmp");
    }
    bool Started = false;

private:
    win32::UniqueKernelHandle process_, thread_;
    DWORD threadId_ = 0;
    HWND form_ = nullptr;
};

struct MessageBoxText {
    HWND Box = nullptr;
    std::wstring Title, Text;
};

MessageBoxText WaitForMessageBox(HWND owner) {
    MessageBoxText m;
    WaitFor([&] { return (m.Box = FindOwnedDialog(owner)) != nullptr; }, 40s);
    if (m.Box) {
        std::this_thread::sleep_for(200ms);
        m.Title = TextOf(m.Box);
        m.Text = TextOf(::GetDlgItem(m.Box, 0xFFFF));
    }
    return m;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CreateDirectoryW(data_.c_str(), nullptr));
        MakeSampleDatabase(data_, L"db_ZVQ");
        server_ = std::make_unique<StandinServer>(StandinServer::Start({L"--data", ToUnixPath(data_)}));
        serverText_ = L"127.0.0.1," + std::to_wstring(server_->Port());
        mdf_ = data_ + L"\\db_ZVQ_Data.MDF";
    }
    SampleFolder folder_;  // the program's folder
    const std::wstring data_ = folder_.Path() + L"\\DataSource";
    std::unique_ptr<StandinServer> server_;
    std::wstring serverText_, mdf_;
};

TEST_F(EndToEnd, KeyboardOnlyWorkflow) {
    Dorvane app(folder_.Path());
    ASSERT_TRUE(app.Started && app.Form()) << "Dorvane did not open its window";
    ASSERT_TRUE(WaitFor([&] { return app.FocusedWindow() == app.Edit(0); })) << "focus starts in Text1";
    Press(VK_TAB);
    Press(VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return app.FocusedWindow() == app.Edit(2); }));
    Type(serverText_);
    EXPECT_EQ(TextOf(app.Edit(2)), serverText_);
    Press(VK_TAB);  // 分离
    Press(VK_TAB);  // 打开数据库文件
    HWND open = app.Button(L"打开数据库文件");
    ASSERT_TRUE(WaitFor([&] { return app.FocusedWindow() == open; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(IsBlue(SideBand(open))) << "the focused look";
    app.Shot(L"focused");

    Press(VK_SPACE);  // the open dialog
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = FindOwnedDialog(app.Form())) != nullptr; }));
    std::this_thread::sleep_for(400ms);
    Type(mdf_);
    Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return TextOf(app.Edit(0)) == mdf_; })) << "Text1 shows the chosen file";
    EXPECT_EQ(TextOf(app.Edit(1)), data_ + L"\\db_ZVQ_Log.LDF");

    // Focus comes back to the button that opened the dialog; Shift+Tab reaches 分离.
    ASSERT_TRUE(WaitFor([&] { return app.FocusedWindow() == open; }));
    ShiftTab();
    HWND detach = app.Button(L"分离");
    ASSERT_TRUE(WaitFor([&] { return app.FocusedWindow() == detach; }));
    Press(VK_RETURN);
    MessageBoxText box = WaitForMessageBox(app.Form());
    ASSERT_NE(box.Box, nullptr) << "no message box";
    EXPECT_EQ(box.Title, L"分离数据库");
    EXPECT_EQ(box.Text, L"分离成功！");
    Press(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box.Box); }));

    // Alt+F4 closes the window and the process ends.
    ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == app.Form(); }));
    Keys({{VK_MENU, false}, {VK_F4, false}, {VK_F4, true}, {VK_MENU, true}});
    EXPECT_EQ(app.WaitForExit(10000), 0);
}

TEST_F(EndToEnd, MouseWorkflowAndTheLooks) {
    Dorvane app(folder_.Path());
    ASSERT_TRUE(app.Started && app.Form());
    // The server name is the one thing typed.
    Click(Centre(app.Edit(2)));
    Type(serverText_);

    HWND open = app.Button(L"打开数据库文件");
    const COLORREF normal = SideBand(open);
    EXPECT_FALSE(IsOrange(normal));
    MoveTo(Centre(open));
    EXPECT_TRUE(WaitFor([&] { return IsOrange(SideBand(open)); }, 3s)) << "the hot look while the pointer is over it";
    app.Shot(L"hot");
    Mouse(MOUSEEVENTF_LEFTDOWN);
    EXPECT_TRUE(WaitFor([&] { return SideBand(open) == RGB(231, 227, 222); }, 3s)) << "the flat pressed face";
    app.Shot(L"pressed");
    Mouse(MOUSEEVENTF_LEFTUP);

    // In the open dialog, double-click the one *.MDF file of the folder it opens in.
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = FindOwnedDialog(app.Form())) != nullptr; }));
    std::this_thread::sleep_for(500ms);
    HWND list = ::FindWindowExW(::FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr), nullptr,
                                L"SysListView32", nullptr);
    ASSERT_NE(list, nullptr) << "the dialog's file list";
    RECT lr{};
    ::GetWindowRect(list, &lr);
    MoveTo(POINT{lr.left + 40, lr.top + 10});
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Mouse(MOUSEEVENTF_LEFTUP);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Mouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(WaitFor([&] { return _wcsicmp(TextOf(app.Edit(0)).c_str(), mdf_.c_str()) == 0; }))
        << "Text1: " << testing::PrintToString(TextOf(app.Edit(0)));

    Click(Centre(app.Button(L"分离")));
    MessageBoxText box = WaitForMessageBox(app.Form());
    ASSERT_NE(box.Box, nullptr);
    EXPECT_EQ(box.Text, L"分离成功！");
    HWND ok = ::FindWindowExW(box.Box, nullptr, L"Button", nullptr);
    ASSERT_NE(ok, nullptr);
    Click(Centre(ok));
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box.Box); }));

    // A second press shows the server's error for the now missing database.
    Click(Centre(app.Button(L"分离")));
    box = WaitForMessageBox(app.Form());
    ASSERT_NE(box.Box, nullptr);
    EXPECT_NE(box.Text.find(L"does not exist"), std::wstring::npos);
    Click(Centre(::FindWindowExW(box.Box, nullptr, L"Button", nullptr)));
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box.Box); }));

    // 退出 ends the process at once.
    Click(Centre(app.Button(L"退出")));
    EXPECT_EQ(app.WaitForExit(5000), 0);
}

TEST_F(EndToEnd, CloseBoxEndsTheProcess) {
    Dorvane app(folder_.Path());
    ASSERT_TRUE(app.Started && app.Form());
    ::PostMessageW(app.Form(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.WaitForExit(10000), 0);
}

}  // namespace
}  // namespace dorvane::test
