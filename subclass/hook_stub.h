// The dispatch object of one hooked window: one registration with the common-controls
// subclassing service, holding the owner, the addresses and counts of the record's two
// message tables, and the window's life state.
//
// Why a subclassing registration and not a generated machine-code procedure: the program is
// built for x86 and x64 alike, and the service already gives what a hand-made chain of window procedures does not:
// the newest registration runs first, each passes the message on with DefSubclassProc, and
// registrations can be removed in any order. One case it does not survive: removing a link
// that a message further out on the stack is about to call next (a callback that sent a
// message to its own window). So a stub released while its window is busy stays linked,
// forwarding only, until the outermost dispatch of that window returns.
#pragma once

#include "subclass/window_hook.h"

#include <commctrl.h>

#include <cstdint>
#include <memory>

namespace subclass {

class HookStub {
public:
    // A complete but not yet installed stub: no tables, both counts 0 (pure forwarding).
    HookStub(ISubclassOwner& owner, HWND hWnd);
    HookStub(const HookStub&) = delete;
    HookStub& operator=(const HookStub&) = delete;

    // Registers the stub on its window. False, with the window untouched, when the window
    // does not exist, belongs to another thread (the service only works on the calling
    // thread's windows) or the service refuses.
    bool Install() noexcept;

    // The table fields, written whenever a record's table or count changes. The table
    // stays owned by the record; the stub only reads it while dispatching.
    void SetTable(int32_t When, const UINT* pTable, int32_t count) noexcept;
    void SetCount(int32_t When, int32_t count) noexcept;

    // Ends the stub: drops the owner and the tables at once, so it only forwards from here
    // on; then removes the registration (unless the window is gone) and frees the stub, now
    // if no message of its window is being dispatched through a stub on this thread, else
    // when the outermost such dispatch returns (see Dispatch).
    void Release() noexcept;

    UINT_PTR Id() const noexcept { return m_uId; }  // unique, increasing per stub
    bool Gone() const noexcept { return m_bGone; }  // the window was destroyed
    bool Installed() const noexcept { return m_bInstalled; }
    int32_t BeforeCount() const noexcept { return m_nBeforeCount; }
    int32_t AfterCount() const noexcept { return m_nAfterCount; }
    const UINT* BeforeTable() const noexcept { return m_pBeforeMsgs; }
    const UINT* AfterTable() const noexcept { return m_pAfterMsgs; }

    // Stubs allocated and not yet freed, in the whole process (diagnostics and leak tests).
    static long LiveCount() noexcept;

private:
    ~HookStub();  // only Release() frees a stub

    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uIdSubclass,
                                         DWORD_PTR dwRefData);
    LRESULT Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void Deliver(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                 LPARAM& lParam);
    void Unregister() noexcept;
    // Whether a stub's dispatch of a message of hWnd is on this thread's stack.
    static bool WindowBusy(HWND hWnd) noexcept;
    // Unregisters and frees the released stubs of hWnd once it is no longer busy.
    static void FinishReleased(HWND hWnd) noexcept;

    ISubclassOwner* m_pOwner;
    const HWND m_hWnd;
    const UINT_PTR m_uId;
    const UINT* m_pBeforeMsgs = nullptr;
    int32_t m_nBeforeCount = 0;
    const UINT* m_pAfterMsgs = nullptr;
    int32_t m_nAfterCount = 0;
    HookStub* m_pNextReleased = nullptr;  // the thread's list of stubs waiting to be freed
    bool m_bInstalled = false;            // registered with the window
    bool m_bGone = false;                 // WM_NCDESTROY seen: the registration is already removed
};

// Frees a stub through Release(), for stubs not yet handed to a record.
struct HookStubRelease {
    void operator()(HookStub* pStub) const noexcept { pStub->Release(); }
};
using HookStubPtr = std::unique_ptr<HookStub, HookStubRelease>;

}  // namespace subclass
