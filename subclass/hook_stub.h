// The dispatch object of one hooked window (`HookStub`): one registration in the window's
// subclass chain (win32/window_subclass.h), holding the owner and the window's two message
// tables, which say what reaches the owner before and after the window's own procedure.
// Declared with it: what it works with, the owner's callback `zSubclass_Proc` and the
// `When` flags that choose a table.
//
// Why a subclassing registration and not a generated machine-code procedure: the program is
// built for x86 and x64 alike, and the chain already gives what a procedure swapped in by
// hand does not: the newest registration runs first, each passes the message on with
// DefSubclass, and registrations can be removed in any order, even while a message is on its
// way down the chain. The stub itself may still be on the stack then (a callback that sent
// a message to its own window), so a stub released while its window is busy stays linked,
// forwarding only, until the outermost dispatch of that window returns.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
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

// The messages a stub hands to its owner on one side of the window's own procedure.
// Entries are only added: a stub's tables end with the stub.
class MessageTable {
public:
    // 0: none; n: the n entries; -1 (ANY_MESSAGE was added): every message.
    int32_t Count() const noexcept { return every_ ? -1 : static_cast<int32_t>(messages_.size()); }
    // The entries in the order they were added; an entry of 0 is a free slot.
    const std::vector<UINT>& Messages() const noexcept { return messages_; }
    bool Delivers(UINT uMsg) const noexcept;
    // Adds uMsg, or with ANY_MESSAGE every message. A free slot takes it before the table
    // grows; a message already listed, or any single one once every message is delivered,
    // changes nothing. Throws std::bad_alloc when the table cannot grow, leaving it as it was.
    void Add(UINT uMsg);

private:
    std::vector<UINT> messages_;
    bool every_ = false;
};

class HookStub {
public:
    // A complete but not yet installed stub: both tables empty (pure forwarding).
    HookStub(ISubclassOwner& owner, HWND hwnd);
    HookStub(const HookStub&) = delete;
    HookStub& operator=(const HookStub&) = delete;

    // Registers the stub on its window. False, with the window untouched, when the window
    // does not exist, belongs to another thread (the service only works on the calling
    // thread's windows) or the service refuses.
    bool Install() noexcept;

    // Adds uMsg (or ANY_MESSAGE) to the before-table when When has HOOK_BEFORE, then to the
    // after-table when it has HOOK_AFTER. The next message of the window already goes by
    // the new tables. Throws std::bad_alloc when a table cannot grow; what was added stays.
    void AddToMessageTable(UINT uMsg, int32_t When);
    const MessageTable& Before() const noexcept { return before_; }
    const MessageTable& After() const noexcept { return after_; }

    // Ends the stub: drops the owner at once, so it only forwards from here on; then removes
    // the registration (unless the window is gone) and frees the stub, now if no message of
    // its window is being dispatched through a stub on this thread, else when the outermost
    // such dispatch returns (see Dispatch).
    void Release() noexcept;

    UINT_PTR Id() const noexcept { return id_; }  // unique, increasing per stub
    bool Gone() const noexcept { return gone_; }  // the window was destroyed
    bool Installed() const noexcept { return installed_; }

    // Stubs allocated and not yet freed, in the whole process (diagnostics and leak tests).
    static long LiveCount() noexcept;

private:
    ~HookStub();  // only Release() frees a stub

    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR refData);
    LRESULT Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void Deliver(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                 LPARAM& lParam);
    void Unregister() noexcept;
    // Whether a stub's dispatch of a message of hwnd is on this thread's stack.
    static bool WindowBusy(HWND hwnd) noexcept;
    // Unregisters and frees the released stubs of hwnd once it is no longer busy.
    static void FinishReleased(HWND hwnd) noexcept;

    ISubclassOwner* owner_;  // null once released
    const HWND hwnd_;
    const UINT_PTR id_;
    MessageTable before_;
    MessageTable after_;
    HookStub* nextReleased_ = nullptr;  // the thread's list of stubs waiting to be freed
    bool installed_ = false;            // registered with the window
    bool gone_ = false;                 // WM_NCDESTROY seen: the registration is already removed
};

// Frees a stub through Release(): the one owner of a stub, first while it is being made,
// then in its window's record.
struct HookStubRelease {
    void operator()(HookStub* stub) const noexcept { stub->Release(); }
};
using HookStubPtr = std::unique_ptr<HookStub, HookStubRelease>;

}  // namespace subclass
