// Shared pieces of the window-hook tests: a real window whose own procedure records what it
// receives, an owner that records its callbacks and can act inside them, and the fixtures
// that hook owners on a window before each test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "win32/win_handles.h"
#include "subclass/window_hook.h"

namespace hooktest {

using subclass::ANY_MESSAGE;
using subclass::HOOK_AFTER;
using subclass::HOOK_BEFORE;
using subclass::HookStub;
using subclass::MessageTable;

// Probe messages the test window's own procedure answers with a value that depends on the
// message and both parameters, so a changed argument shows in the result too.
constexpr UINT kMsgA = WM_APP + 1;
constexpr UINT kMsgB = WM_APP + 2;
constexpr UINT kMsgC = WM_APP + 3;

inline LRESULT ProbeResult(UINT msg, WPARAM wParam, LPARAM lParam) {
    return static_cast<LRESULT>((msg - WM_APP) * 1000 + wParam * 10) + lParam;
}

struct SeenMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
};

// The order of events across windows and owners in one test ("proc", "A before", ...).
inline std::vector<std::string>& Trail() {
    static std::vector<std::string> g_trail;
    return g_trail;
}

// A hidden top-level window of a class of its own; the procedure records the probe messages.
// It stays where it was made: its window's procedure reaches this object.
class TestWindow {
public:
    TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND get() const { return window_.get(); }
    // Probe messages the window's own procedure received, in order.
    const std::vector<SeenMessage>& Seen() const { return seen_; }
    void ClearSeen() { seen_.clear(); }
    // Destroys the window now; get() is null from the first of its last messages on.
    void Destroy();

    static WNDPROC ClassProc();
    // The window's own procedure, as its class reaches it (win32::ObjectWindow).
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    std::vector<SeenMessage> seen_;
    win32::UniqueWindow window_;  // last, so the window goes before what its procedure uses
};

// A window's procedure slot, and what it holds on a test window with no hook left.
inline LONG_PTR ProcOf(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWLP_WNDPROC); }
inline LONG_PTR ClassProcValue() { return reinterpret_cast<LONG_PTR>(TestWindow::ClassProc()); }

struct Callback {
    bool Before;
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT ReturnSeen;  // lReturn on entry to the callback
};

using CallbackAction = std::function<void(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg,
                                          WPARAM& wParam, LPARAM& lParam)>;

// An owner object: records every callback it gets and runs an optional action in it.
class RecordingOwner final : public subclass::ISubclassOwner {
public:
    explicit RecordingOwner(std::string name = "owner") : Hooks(*this), name_(std::move(name)) {}

    void zSubclass_Proc(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                        LPARAM& lParam) override {
        Calls.push_back({bBefore, uMsg, wParam, lParam, lReturn});
        Trail().push_back(name_ + (bBefore ? " before" : " after"));
        if (Action) Action(bBefore, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
    }

    // Callbacks received for one message number.
    size_t CallsFor(UINT msg) const {
        size_t n = 0;
        for (const Callback& c : Calls) n += (c.Msg == msg) ? 1 : 0;
        return n;
    }

    subclass::WindowHooks Hooks;
    std::vector<Callback> Calls;
    CallbackAction Action;

private:
    std::string name_;
};

// One owner with one hook on a test window (record 0) for the test. TearDown removes that
// hook; the window must then have its class's procedure again, and every stub the test
// made must be freed.
class OneOwnerTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    long stubsBefore_ = HookStub::LiveCount();
    TestWindow window_;
    RecordingOwner owner_;
};

// Two owners hooked on one test window: inner first, then outer, whose stub therefore runs
// first before the window's procedure and last after it.
class TwoOwnersTest : public testing::Test {
protected:
    void SetUp() override;

    long stubsBefore_ = HookStub::LiveCount();
    TestWindow window_;
    RecordingOwner inner_{"inner"};
    RecordingOwner outer_{"outer"};
};

}  // namespace hooktest
