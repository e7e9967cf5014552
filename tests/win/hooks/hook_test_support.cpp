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
    m_hWnd = CreateWindowExW(0, kClassName, L"hook test", WS_POPUP, 0, 0, 100, 40, nullptr, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (m_hWnd == nullptr) throw std::runtime_error("CreateWindowExW failed");
}

TestWindow::~TestWindow() { Destroy(); }

void TestWindow::Destroy() {
    if (m_hWnd != nullptr) {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        DestroyWindow(hWnd);
    }
}

LRESULT TestWindow::HandleMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg >= WM_APP && uMsg < WM_APP + 0x100) {
        m_seen.push_back({uMsg, wParam, lParam});
        Trail().push_back("proc");
        return ProbeResult(uMsg, wParam, lParam);
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

}  // namespace hooktest
