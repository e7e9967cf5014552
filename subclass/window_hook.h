// Window hooks: hand chosen messages of chosen windows to an owner object, before or after
// the window's own procedure, through the owner's one callback `zSubclass_Proc`.
//
// Each hooked window gets a record in the owner's `m_aHooks` and a dispatch object
// (`HookStub`) registered with the common-controls subclassing service. That service keeps
// every registration of a window in one chain, calls the newest first, and lets any link be
// removed in any order, so several owners can hook one window and unhook in whatever order
// they are destroyed without leaving the window with a procedure that reaches freed memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace subclass {

constexpr int32_t HOOK_AFTER = 1;   // delivered after the window's own procedure
constexpr int32_t HOOK_BEFORE = 2;  // delivered before it; 3 = both
constexpr UINT ANY_MESSAGE = static_cast<UINT>(-1);

// The owner's callback. Arguments by reference, as the dispatch holds them: a before-callback
// may rewrite the message and its parameters, set bHandled to stop the message, and set
// lReturn; an after-callback sees the window's result in lReturn and may change it.
class ISubclassOwner {
public:
    virtual void zSubclass_Proc(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg,
                                WPARAM& wParam, LPARAM& lParam) = 0;

protected:
    ~ISubclassOwner() = default;
};

class HookStub;  // the per-window dispatch object (hook_stub.h)

struct HookRecord {  // 0 in hWndHooked marks a free record
    HWND hWndHooked = nullptr;
    HookStub* pStub = nullptr;    // the dispatch object, owned by the record while hooked
    WNDPROC pPrevProc = nullptr;  // the window procedure in place before hooking (informational)
    int32_t nAfterCount = 0;      // 0: none, n: entries 0..n-1, ANY_MESSAGE (-1): every message
    int32_t nBeforeCount = 0;
    std::vector<UINT> aAfterMsgs;  // an entry of 0 is a free slot
    std::vector<UINT> aBeforeMsgs;
};

// The per-owner data and routines. All calls come from the thread that owns the hooked
// windows. No routine throws or reports: a failure ends it quietly, keeping what was done.
class WindowHooks {
public:
    explicit WindowHooks(ISubclassOwner& owner);
    ~WindowHooks();  // unhooks whatever is still hooked (quietly)
    WindowHooks(const WindowHooks&) = delete;
    WindowHooks& operator=(const WindowHooks&) = delete;

    // Hooks hWnd; returns the record index, or -1 when the window could not be hooked
    // (no such window, a window of another thread, out of memory): the window is then
    // untouched and no record is taken.
    int32_t HookWindow(HWND hWnd);
    // Registers uMsg (or ANY_MESSAGE) for delivery HOOK_BEFORE and/or HOOK_AFTER on the
    // newest hook of hWnd. Nothing happens for an unhooked window or handle 0.
    void HookMessage(HWND hWnd, UINT uMsg, int32_t When);
    // Removes the newest hook of hWnd and frees its record. Harmless for a window already
    // destroyed; nothing happens for an unhooked window or handle 0.
    void UnhookWindow(HWND hWnd);
    // From the highest index down: the first record hooking hWnd, or with bFree the first
    // free record; -1 if none.
    int32_t FindHook(HWND hWnd, bool bFree) const;

    const std::vector<HookRecord>& Records() const;  // m_aHooks, for tests and diagnostics
    bool TemplateBuilt() const;                      // the one-time set-up has run

private:
    void AddToMessageTable(UINT uMsg, std::vector<UINT>& table, int32_t& count, int32_t When, HookStub* pStub);
    int32_t FindNewestHook(HWND hWnd) const;
    void BuildTemplate();

    ISubclassOwner& m_owner;
    std::vector<HookRecord> m_aHooks;
    bool m_bTemplateBuilt = false;
};

}  // namespace subclass
