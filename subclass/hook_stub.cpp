#include "subclass/hook_stub.h"

#include "win32/window_subclass.h"

#include <algorithm>
#include <atomic>

namespace subclass {
namespace {

// Registration ids only need to be unique per window and subclass procedure; a process-wide
// counter also makes them increase with the order of hooking, which tells the newest hook.
std::atomic<UINT_PTR> g_nextStubId{1};
std::atomic<long> g_liveStubs{0};

// The dispatches of hooked messages now on this thread's stack, innermost first: one
// frame per stub call, living in that call's stack frame.
struct DispatchFrame {
    HWND Hwnd;
    DispatchFrame* Outer;
};
thread_local DispatchFrame* g_innermostDispatch = nullptr;
// Stubs released while their window was busy, waiting for its dispatch to end.
thread_local HookStub* g_releasedStubs = nullptr;

class FrameGuard {
public:
    explicit FrameGuard(HWND hwnd) noexcept : frame_{hwnd, g_innermostDispatch} { g_innermostDispatch = &frame_; }
    ~FrameGuard() { g_innermostDispatch = frame_.Outer; }
    FrameGuard(const FrameGuard&) = delete;
    FrameGuard& operator=(const FrameGuard&) = delete;

private:
    DispatchFrame frame_;
};

}  // namespace

bool MessageTable::Delivers(UINT uMsg) const noexcept {
    return every_ || std::find(messages_.begin(), messages_.end(), uMsg) != messages_.end();
}

void MessageTable::Add(UINT uMsg) {
    if (uMsg == ANY_MESSAGE) {
        every_ = true;  // the entries stay, unread while every message is delivered
        return;
    }
    if (every_) return;  // every message is delivered already; a single one adds nothing
    for (UINT& entry : messages_) {
        if (entry == 0) {  // a free slot
            entry = uMsg;
            return;
        }
        if (entry == uMsg) return;  // no duplicates
    }
    messages_.push_back(uMsg);
}

HookStub::HookStub(ISubclassOwner& owner, HWND hwnd) : owner_(&owner), hwnd_(hwnd), id_(g_nextStubId.fetch_add(1)) {
    g_liveStubs.fetch_add(1);
}

HookStub::~HookStub() { g_liveStubs.fetch_sub(1); }

long HookStub::LiveCount() noexcept { return g_liveStubs.load(); }

bool HookStub::Install() noexcept {
    if (installed_ || hwnd_ == nullptr || !IsWindow(hwnd_)) return false;
    if (GetWindowThreadProcessId(hwnd_, nullptr) != GetCurrentThreadId()) return false;
    // The stub is complete before this call and the call sends no message, so no message
    // can reach a half-built stub.
    if (!win32::SetSubclass(hwnd_, &HookStub::SubclassProc, id_, reinterpret_cast<DWORD_PTR>(this))) return false;
    installed_ = true;
    return true;
}

void HookStub::AddToMessageTable(UINT uMsg, int32_t When) {
    if ((When & HOOK_BEFORE) != 0) before_.Add(uMsg);
    if ((When & HOOK_AFTER) != 0) after_.Add(uMsg);
}

void HookStub::Unregister() noexcept {
    if (installed_ && !gone_) {
        // Fails only when the window no longer exists, and then there is nothing to undo.
        win32::RemoveSubclass(hwnd_, &HookStub::SubclassProc, id_);
    }
    installed_ = false;
}

bool HookStub::WindowBusy(HWND hwnd) noexcept {
    for (const DispatchFrame* frame = g_innermostDispatch; frame != nullptr; frame = frame->Outer) {
        if (frame->Hwnd == hwnd) return true;
    }
    return false;
}

void HookStub::Release() noexcept {
    // From here on no message reaches the owner through this stub.
    owner_ = nullptr;
    if (WindowBusy(hwnd_)) {
        // A dispatch of this window is running: this stub may be on the stack, and the
        // service may already have chosen it as the next link of a message that is still
        // being handled further out (a callback that sent a message to the window).
        // Removing the link now would leave that message pointing at a freed link; as a
        // plain forwarder it stays harmless until the outermost dispatch returns.
        nextReleased_ = g_releasedStubs;
        g_releasedStubs = this;
        return;
    }
    Unregister();
    delete this;
}

void HookStub::FinishReleased(HWND hwnd) noexcept {
    HookStub** link = &g_releasedStubs;
    while (*link != nullptr) {
        HookStub* stub = *link;
        if (stub->hwnd_ != hwnd) {
            link = &stub->nextReleased_;
            continue;
        }
        *link = stub->nextReleased_;
        stub->Unregister();
        delete stub;
    }
}

LRESULT CALLBACK HookStub::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                        DWORD_PTR refData) {
    return reinterpret_cast<HookStub*>(refData)->Dispatch(hwnd, msg, wParam, lParam);
}

LRESULT HookStub::Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    const UINT arrived = uMsg;
    LRESULT lReturn = 0;
    {
        FrameGuard frame(hWnd);
        bool bHandled = false;
        HWND lng_hWnd = hWnd;
        Deliver(true, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
        if (!bHandled) {
            // The rest of the chain is found through the window the message arrived at, so
            // that handle goes on even if the callback rewrote its copy; message and
            // parameters go on as the callback left them.
            lReturn = win32::DefSubclass(hWnd, uMsg, wParam, lParam);
            Deliver(false, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
        }
        if (arrived == WM_NCDESTROY) {
            // The window is going away: leave its chain now, while the service can still
            // find it; once the window is destroyed no message is passed along it again.
            // A later unhook only frees the stub.
            Unregister();
            gone_ = true;
        }
    }
    // This stub may be among those freed here: nothing below touches it.
    if (!WindowBusy(hWnd)) FinishReleased(hWnd);
    return lReturn;
}

void HookStub::Deliver(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                       LPARAM& lParam) {
    // Unregistered messages never enter the owner's code: an empty table delivers nothing,
    // ANY_MESSAGE every message, otherwise only the listed ones.
    if (owner_ == nullptr || !(bBefore ? before_ : after_).Delivers(uMsg)) return;
    try {
        owner_->zSubclass_Proc(bBefore, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
    } catch (...) {
        // No exception may cross the system's window procedures: the message keeps what was set.
    }
}

}  // namespace subclass
