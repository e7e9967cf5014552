// Waiting for slow work without a window that looks dead: the work runs on a thread of
// its own while the window's thread goes on painting and answering the messages sent to
// it, so Windows never takes the window for hung and never offers to end the program.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "host/control_site.h"
#include "host/error.h"

namespace app {

// A structured exception stopped the work's thread in the middle of its work: what it
// held (heap and driver locks, a server session) stays held, so the process cannot go on
// safely and must end once the operator has read why.
class WorkAbandoned : public host::Error {
public:
    explicit WorkAbandoned(std::wstring description)
        : host::Error(host::ErrorNumber::Platform, std::move(description)) {}
};

class BusyWait {
public:
    // Shows the wait cursor when the pointer is over `window` (the window's WM_SETCURSOR
    // keeps showing it while the wait lasts), gives Windows `reason` to show when a
    // log-off or shutdown asks while the wait lasts (the window itself answers
    // WM_QUERYENDSESSION), and holds the window's input off (host::InputHold). The
    // destructor puts the cursor back, withdraws the reason and lets input in again.
    BusyWait(HWND window, const wchar_t* reason);
    ~BusyWait();
    BusyWait(const BusyWait&) = delete;
    BusyWait& operator=(const BusyWait&) = delete;

    // Runs `work` on a new thread and returns once it has ended. Meanwhile this thread
    // paints and answers sent messages only: every kind of input (keys, mouse, and pen
    // and touch where the system has them) is dropped, not kept for later, so nothing
    // pressed during the wait is replayed after it. Posted messages that are not input
    // are dispatched (COM's calls into this thread come that way), so the window's
    // handlers must drop what they cannot do while the work runs. A quit request posted
    // meanwhile is kept for the caller (QuitRequested), who posts it again when done.
    // What `work` throws is thrown again here, on the window's thread. A structured
    // exception that nothing on the work's thread handles (a DLL that cannot be loaded,
    // an access violation) stops that thread where it is, for good, and comes here as
    // WorkAbandoned with its description. Raises host::Error when no thread can be started.
    void Run(const std::function<void()>& work);

    // The exit code of a WM_QUIT that came while Run waited.
    std::optional<int> QuitRequested() const { return quit_; }

    // The queue-status bits of input on this system: QS_INPUT as Windows 7 knows it, plus
    // QS_TOUCH and QS_POINTER where the system has pointer input (Windows 8 and later).
    static UINT InputMask();

private:
    void DispatchPaintAndPosted();

    HWND window_ = nullptr;
    HCURSOR previous_ = nullptr;
    bool cursorSet_ = false;
    bool reasonSet_ = false;
    std::optional<int> quit_;
    host::InputHold hold_;
};

}  // namespace app
