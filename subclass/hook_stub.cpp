#include "subclass/hook_stub.h"

#include <algorithm>
#include <atomic>

namespace subclass {
namespace {

// Registration ids only need to be unique per window and subclass procedure; a process-wide
// counter also makes them increase with the order of hooking, which tells the newest hook.
std::atomic<UINT_PTR> g_nextId{1};
std::atomic<long> g_liveStubs{0};

// The dispatches of hooked messages now on this thread's stack, innermost first: one
// frame per stub call, living in that call's stack frame.
struct DispatchFrame {
    HWND hWnd;
    DispatchFrame* pOuter;
};
thread_local DispatchFrame* t_pInnermost = nullptr;
// Stubs released while their window was busy, waiting for its dispatch to end.
thread_local HookStub* t_pReleased = nullptr;

class FrameGuard {
public:
    explicit FrameGuard(HWND hWnd) noexcept : m_frame{hWnd, t_pInnermost} { t_pInnermost = &m_frame; }
    ~FrameGuard() { t_pInnermost = m_frame.pOuter; }
    FrameGuard(const FrameGuard&) = delete;
    FrameGuard& operator=(const FrameGuard&) = delete;

private:
    DispatchFrame m_frame;
};

}  // namespace

HookStub::HookStub(ISubclassOwner& owner, HWND hWnd) : m_pOwner(&owner), m_hWnd(hWnd), m_uId(g_nextId.fetch_add(1)) {
    g_liveStubs.fetch_add(1);
}

HookStub::~HookStub() { g_liveStubs.fetch_sub(1); }

long HookStub::LiveCount() noexcept { return g_liveStubs.load(); }

bool HookStub::Install() noexcept {
    if (m_bInstalled || m_hWnd == nullptr || !IsWindow(m_hWnd)) return false;
    if (GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId()) return false;
    // The stub is complete before this call and the call sends no message, so no message
    // can reach a half-built stub.
    if (!SetWindowSubclass(m_hWnd, &HookStub::SubclassProc, m_uId, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    m_bInstalled = true;
    return true;
}

void HookStub::SetTable(int32_t When, const UINT* pTable, int32_t count) noexcept {
    if (When == HOOK_BEFORE) {
        m_pBeforeMsgs = pTable;
        m_nBeforeCount = count;
    } else {
        m_pAfterMsgs = pTable;
        m_nAfterCount = count;
    }
}

void HookStub::SetCount(int32_t When, int32_t count) noexcept {
    (When == HOOK_BEFORE ? m_nBeforeCount : m_nAfterCount) = count;
}

void HookStub::Unregister() noexcept {
    if (m_bInstalled && !m_bGone) {
        // Fails only when the window no longer exists, and then there is nothing to undo.
        RemoveWindowSubclass(m_hWnd, &HookStub::SubclassProc, m_uId);
    }
    m_bInstalled = false;
}

bool HookStub::WindowBusy(HWND hWnd) noexcept {
    for (const DispatchFrame* frame = t_pInnermost; frame != nullptr; frame = frame->pOuter) {
        if (frame->hWnd == hWnd) return true;
    }
    return false;
}

void HookStub::Release() noexcept {
    // From here on no message reaches the owner through this stub, and the record's tables,
    // which are about to be erased, are never read again.
    m_pOwner = nullptr;
    m_pBeforeMsgs = m_pAfterMsgs = nullptr;
    m_nBeforeCount = m_nAfterCount = 0;
    if (WindowBusy(m_hWnd)) {
        // A dispatch of this window is running: this stub may be on the stack, and the
        // service may already have chosen it as the next link of a message that is still
        // being handled further out (a callback that sent a message to the window).
        // Removing the link now would leave that message pointing at a freed link; as a
        // plain forwarder it stays harmless until the outermost dispatch returns.
        m_pNextReleased = t_pReleased;
        t_pReleased = this;
        return;
    }
    Unregister();
    delete this;
}

void HookStub::FinishReleased(HWND hWnd) noexcept {
    HookStub** link = &t_pReleased;
    while (*link != nullptr) {
        HookStub* stub = *link;
        if (stub->m_hWnd != hWnd) {
            link = &stub->m_pNextReleased;
            continue;
        }
        *link = stub->m_pNextReleased;
        stub->Unregister();
        delete stub;
    }
}

LRESULT CALLBACK HookStub::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR /*uIdSubclass*/,
                                        DWORD_PTR dwRefData) {
    return reinterpret_cast<HookStub*>(dwRefData)->Dispatch(hWnd, uMsg, wParam, lParam);
}

LRESULT HookStub::Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    const UINT uArrived = uMsg;
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
            lReturn = DefSubclassProc(hWnd, uMsg, wParam, lParam);
            Deliver(false, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
        }
        if (uArrived == WM_NCDESTROY) {
            // The window is going away: leave its chain now, while the service can still
            // find it; once the window is destroyed no message is passed along it again.
            // A later unhook only frees the stub.
            Unregister();
            m_bGone = true;
        }
    }
    // This stub may be among those freed here: nothing below touches it.
    if (!WindowBusy(hWnd)) FinishReleased(hWnd);
    return lReturn;
}

void HookStub::Deliver(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                       LPARAM& lParam) {
    const UINT* pTable = bBefore ? m_pBeforeMsgs : m_pAfterMsgs;
    const int32_t count = bBefore ? m_nBeforeCount : m_nAfterCount;
    // Unregistered messages never enter the owner's code: 0 delivers nothing, a negative
    // count every message, otherwise only the listed ones.
    if (count == 0 || m_pOwner == nullptr) return;
    if (count > 0 && std::find(pTable, pTable + count, uMsg) == pTable + count) return;
    try {
        m_pOwner->zSubclass_Proc(bBefore, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
    } catch (...) {
        // No exception may cross the system's window procedures: the message keeps what was set.
    }
}

}  // namespace subclass
