// Shared pieces of the window-hook tests: a real window whose own procedure records what it
// receives, and an owner that records its callbacks and can act inside them.
#pragma once

#include "subclass/hook_stub.h"
#include "subclass/window_hook.h"

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace hooktest {

// Probe messages the test window's own procedure answers with a value that depends on the
// message and both parameters, so a changed argument shows in the result too.
constexpr UINT MSG_A = WM_APP + 1;
constexpr UINT MSG_B = WM_APP + 2;
constexpr UINT MSG_C = WM_APP + 3;

inline LRESULT ProbeResult(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return static_cast<LRESULT>((uMsg - WM_APP) * 1000 + wParam * 10) + lParam;
}

struct SeenMessage {
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

// The order of events across windows and owners in one test ("proc", "A before", ...).
inline std::vector<std::string>& Trail() {
    static std::vector<std::string> trail;
    return trail;
}

// A hidden top-level window of a class of its own; the procedure records the probe messages.
class TestWindow {
public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND get() const { return m_hWnd; }
    // Probe messages the window's own procedure received, in order.
    const std::vector<SeenMessage>& Seen() const { return m_seen; }
    void ClearSeen() { m_seen.clear(); }
    // Destroys the window now (the destructor then does nothing).
    void Destroy();

    static WNDPROC ClassProc();
    // The window's own procedure, as its class reaches it (win32::ObjectWindow).
    LRESULT HandleMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    HWND m_hWnd = nullptr;
    std::vector<SeenMessage> m_seen;
};

struct Callback {
    bool bBefore;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT lReturnSeen;  // lReturn on entry to the callback
};

using Action = std::function<void(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg,
                                  WPARAM& wParam, LPARAM& lParam)>;

// An owner object: records every callback it gets and runs an optional action in it.
class RecordingOwner final : public subclass::ISubclassOwner {
public:
    explicit RecordingOwner(std::string name = "owner") : hooks(*this), m_name(std::move(name)) {}

    void zSubclass_Proc(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                        LPARAM& lParam) override {
        calls.push_back({bBefore, uMsg, wParam, lParam, lReturn});
        Trail().push_back(m_name + (bBefore ? " before" : " after"));
        if (action) action(bBefore, bHandled, lReturn, lng_hWnd, uMsg, wParam, lParam);
    }

    // Callbacks received for one message number.
    size_t CallsFor(UINT uMsg) const {
        size_t n = 0;
        for (const Callback& c : calls) n += (c.uMsg == uMsg) ? 1 : 0;
        return n;
    }

    subclass::WindowHooks hooks;
    std::vector<Callback> calls;
    Action action;

private:
    std::string m_name;
};

}  // namespace hooktest
