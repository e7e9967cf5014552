// Waiting for slow work without a window that looks dead: the work runs on a thread of
// its own while the window's thread goes on painting and answering the messages sent to
// it, so Windows never takes the window for hung and never offers to end the program.
#pragma once

#include <windows.h>

#include <functional>

namespace app {

class BusyWait {
public:
    // Shows the wait cursor when the pointer is over `window` (the window's WM_SETCURSOR
    // keeps showing it while the wait lasts); the destructor puts the old one back.
    explicit BusyWait(HWND window);
    ~BusyWait();
    BusyWait(const BusyWait&) = delete;
    BusyWait& operator=(const BusyWait&) = delete;

    // Runs `work` on a new thread and returns once it has ended. Meanwhile this thread
    // paints and answers sent messages only: mouse and keyboard input is dropped, not
    // kept for later, so nothing pressed during the wait is replayed after it; posted
    // messages wait for the ordinary message loop. `work` must not throw. Raises
    // host::Error when no thread can be started.
    void Run(const std::function<void()>& work);

private:
    HCURSOR previous_ = nullptr;
    bool cursorSet_ = false;
};

}  // namespace app
