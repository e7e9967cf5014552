// The fixture of the tests that press "分离" on a real Form1 against stand-ins through the
// real client stack: a sample database, the press with its message box answered from a
// helper thread, and the checks that follow a failure.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/detach_rules.h"
#include "app/main_window.h"
#include "base/text.h"
#include "tests/win/reliability/reliability_support.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"

namespace dorvane::test {

// Longest a failing press may take before the test calls it a hang: the detach's login
// timeout (app::kDetachLoginTimeoutSeconds) plus 45 s of the driver's own slack.
inline constexpr DWORD kBoxLimitMs = (app::kDetachLoginTimeoutSeconds + 45) * 1000;

inline std::wstring ServerText(const StandinServer& s) { return L"127.0.0.1," + std::to_wstring(s.Port()); }

class DetachPressTest : public testing::Test {
protected:
    void SetUp() override {
        folder_.AddDatabase(L"db_ZVQ");
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        form_ = app::Form1::Create(instance, app::Form1::LoadDesign(instance), SW_SHOW);
        PumpMessages();
        form_->TakeChosenFile(folder_.File(L"db_ZVQ_Data.MDF"), L"db_ZVQ_Data.MDF");
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
        MessageBoxWatcher watcher(form_->Hwnd(), kBoxLimitMs);
        form_->Command3_Click();
        EXPECT_TRUE(watcher.Finish()) << "no message box within " << kBoxLimitMs << " ms";
        EXPECT_EQ(watcher.Title(), app::kDetachTitle);
        return watcher.Text();
    }

    // The window after a failure: enabled, answering messages, fields unchanged, and a
    // detach against a healthy server succeeds.
    void ExpectUsableAndNextDetachWorks() {
        EXPECT_TRUE(::IsWindow(form_->Hwnd()));
        EXPECT_TRUE(::IsWindowEnabled(form_->Hwnd()));
        DWORD_PTR result = 0;
        EXPECT_NE(::SendMessageTimeoutW(form_->Hwnd(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
        EXPECT_EQ(form_->GetMembers().strdata, L"db_ZVQ");
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

}  // namespace dorvane::test
