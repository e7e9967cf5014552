#include "tests/win/hooks/hook_test_support.h"

#include <stdexcept>

#include "win32/window_class.h"

namespace hooktest {
namespace {

constexpr wchar_t kClassName[] = L"DorvaneHookTestWindow";

}  // namespace

WNDPROC TestWindow::ClassProc() { return &win32::ObjectWindow<TestWindow>::Proc; }

TestWindow::TestWindow() {
    if (!win32::RegisterWindowClass(kClassName, ClassProc())) throw std::runtime_error("RegisterClassExW failed");
    window_.reset(CreateWindowExW(0, kClassName, L"hook test", WS_POPUP, 0, 0, 100, 40, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), this));
    if (!window_) throw std::runtime_error("CreateWindowExW failed");
}

void TestWindow::Destroy() {
    // Taken out of window_ first, so a callback running during the destruction that
    // destroys the window again finds nothing to do.
    const win32::UniqueWindow closing = std::move(window_);
}

LRESULT TestWindow::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_APP && msg < WM_APP + 0x100) {
        seen_.push_back({msg, wParam, lParam});
        Trail().push_back("proc");
        return ProbeResult(msg, wParam, lParam);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void OneOwnerTest::SetUp() { ASSERT_EQ(owner_.Hooks.HookWindow(window_.get()), 0); }

void OneOwnerTest::TearDown() {
    owner_.Hooks.UnhookWindow(window_.get());
    EXPECT_EQ(ProcOf(window_.get()), ClassProcValue());
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_);
}

void TwoOwnersTest::SetUp() {
    ASSERT_EQ(inner_.Hooks.HookWindow(window_.get()), 0);
    ASSERT_EQ(outer_.Hooks.HookWindow(window_.get()), 0);
}

}  // namespace hooktest
