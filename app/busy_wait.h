// Waiting for slow work without a window that looks dead: the work runs on a thread of
// its own while the window's thread goes on painting and answering the messages sent to
// it, so Windows never takes the window for hung and never offers to end the program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace app {

class BusyWait {
public:
    // Shows the wait cursor when the pointer is over `window` (the window's WM_SETCURSOR
    // keeps showing it while the wait lasts), and gives Windows `reason` to show when a
    // log-off or shutdown asks while the wait lasts (the window itself answers
    // WM_QUERYENDSESSION). The destructor puts the cursor back and withdraws the reason.
    BusyWait(HWND window, const wchar_t* reason);
    ~BusyWait();
    BusyWait(const BusyWait&) = delete;
    BusyWait& operator=(const BusyWait&) = delete;

    // Runs `work` on a new thread and returns once it has ended. Meanwhile this thread
    // paints and answers sent messages only: every kind of input (keys, mouse, and pen
    // and touch where the system has them) is dropped, not kept for later, so nothing
    // pressed during the wait is replayed after it. Posted messages that are not input
    // are dispatched (COM's calls into this thread come that way), so the window's
    // handlers must drop what they cannot do while the work runs.
    // What `work` throws is thrown again here, on the window's thread; a structured
    // exception that nothing on the work's thread handles (a DLL that cannot be loaded,
    // an access violation) ends that thread only and comes here as host::Error with its
    // description. Raises host::Error when no thread can be started.
    void Run(const std::function<void()>& work);

    // The queue-status bits of input on this system: QS_INPUT as Windows 7 knows it, plus
    // QS_TOUCH and QS_POINTER where the system has pointer input (Windows 8 and later).
    static UINT InputMask();

private:
    HWND window_ = nullptr;
    HCURSOR previous_ = nullptr;
    bool cursorSet_ = false;
    bool reasonSet_ = false;
};

}  // namespace app
