#include "app/busy_wait.h"

#include "host/error.h"
#include "host/win_handles.h"

namespace app {

namespace {

// Even without any news the wait looks at the queue this often, so the window is
// never long without its thread asking for messages.
constexpr DWORD kPollMs = 100;

DWORD WINAPI RunWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

void DropInput() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT)) {
    }
}

void DispatchPaint() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the real message loop
            return;
        }
        ::DispatchMessageW(&msg);
    }
}

bool PointerOver(HWND window) {
    POINT p{};
    if (!::GetCursorPos(&p)) return false;
    HWND under = ::WindowFromPoint(p);
    return under && ::GetAncestor(under, GA_ROOT) == window;
}

}  // namespace

BusyWait::BusyWait(HWND window) {
    if (PointerOver(window)) {
        previous_ = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        cursorSet_ = true;
    }
}

BusyWait::~BusyWait() {
    if (cursorSet_) ::SetCursor(previous_);
}

void BusyWait::Run(const std::function<void()>& work) {
    host::UniqueKernelHandle worker(
        ::CreateThread(nullptr, 0, &RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr));
    if (!worker) throw host::Error(host::ErrorNumber::Platform, L"Cannot start a thread for the work");
    HANDLE handle = worker.get();
    for (;;) {
        // PeekMessageW answers the messages other threads and programs send meanwhile.
        DropInput();
        DispatchPaint();
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &handle, kPollMs, QS_INPUT | QS_PAINT | QS_SENDMESSAGE, 0);
        if (woke == WAIT_OBJECT_0) break;
    }
    // Input that came in the last moment goes the same way.
    DropInput();
}

}  // namespace app
