#include "tests/win/hooks/hook_test_support.h"

#include <stdexcept>

namespace hooktest {
namespace {

constexpr wchar_t kClassName[] = L"DorvaneHookTestWindow";

ATOM RegisterTestClass(WNDPROC proc) {
    static const ATOM atom = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

}  // namespace

WNDPROC TestWindow::ClassProc() { return &TestWindow::Proc; }

TestWindow::TestWindow() {
    if (RegisterTestClass(&TestWindow::Proc) == 0) throw std::runtime_error("RegisterClassExW failed");
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

LRESULT CALLBACK TestWindow::Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (uMsg >= WM_APP && uMsg < WM_APP + 0x100) {
        if (self != nullptr) self->m_seen.push_back({uMsg, wParam, lParam});
        Trail().push_back("proc");
        return ProbeResult(uMsg, wParam, lParam);
    }
    if (uMsg == WM_NCDESTROY) SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

}  // namespace hooktest
