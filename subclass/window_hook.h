// Window hooks: hand chosen messages of chosen windows to an owner object, before or after
// the window's own procedure, through the owner's one callback `zSubclass_Proc`.
//
// Each hooked window gets a record in the owner's `m_aHooks`: the window and its dispatch
// object (`HookStub`, hook_stub.h), which holds the window's message tables and is
// registered in the window's subclass chain (win32/window_subclass.h). The chain keeps every
// registration of a window, calls the newest first, and lets any link be
// removed in any order, so several owners can hook one window and unhook in whatever order
// they are destroyed without leaving the window with a procedure that reaches freed memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "subclass/hook_stub.h"

namespace subclass {

struct HookRecord {  // 0 in hWndHooked marks a free record
    HWND HWndHooked = nullptr;
    HookStubPtr PStub;  // the window's dispatch object and message tables; empty while free
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
    // untouched and no record is taken. A hook takes the highest free record, else a new
    // one at the end (record 0 on the first hook).
    int32_t HookWindow(HWND hWnd);
    // Registers uMsg (or ANY_MESSAGE) for delivery HOOK_BEFORE and/or HOOK_AFTER on the
    // newest hook of hWnd. Nothing happens for an unhooked window or handle 0.
    void HookMessage(HWND hWnd, UINT uMsg, int32_t When);
    // Removes the newest hook of hWnd and frees its record. Its stub stops delivering at
    // once and is freed with its tables (see HookStub::Release). Harmless for a window
    // already destroyed; nothing happens for an unhooked window or handle 0.
    void UnhookWindow(HWND hWnd);
    // From the highest index down: the first record hooking hWnd, or with bFree the first
    // free record; -1 if none.
    int32_t FindHook(HWND hWnd, bool bFree) const;

    const std::vector<HookRecord>& Records() const;  // m_aHooks, for tests and diagnostics

private:
    int32_t FindNewestHook(HWND hWnd) const;

    ISubclassOwner& owner_;
    std::vector<HookRecord> m_aHooks;
};

}  // namespace subclass
