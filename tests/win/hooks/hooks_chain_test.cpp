// Several owners on one window, unhooked in every order; windows destroyed while hooked;
// unhooking from inside a callback.
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

namespace dorvane::test {
namespace {

using namespace hooktest;
using subclass::HOOK_AFTER;
using subclass::HOOK_BEFORE;
using subclass::HookStub;

LONG_PTR ProcOf(HWND hWnd) { return GetWindowLongPtrW(hWnd, GWLP_WNDPROC); }
LONG_PTR ClassProcValue() { return reinterpret_cast<LONG_PTR>(TestWindow::ClassProc()); }

TEST(HookChain, ThreeOwnersUnhookInEveryOrderAndTheRestKeepWorking) {
    std::array<int, 3> order{0, 1, 2};
    int orders = 0;
    do {
        SCOPED_TRACE("unhook order " + std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]));
        const long stubs = HookStub::LiveCount();
        TestWindow form;
        std::array<std::unique_ptr<RecordingOwner>, 3> owners{std::make_unique<RecordingOwner>("A"),
                                                              std::make_unique<RecordingOwner>("B"),
                                                              std::make_unique<RecordingOwner>("C")};
        for (auto& owner : owners) {
            ASSERT_EQ(owner->hooks.HookWindow(form.get()), 0);
            owner->hooks.HookMessage(form.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);
        }
        // The last hooked runs first before the window and last after it.
        Trail().clear();
        EXPECT_EQ(SendMessageW(form.get(), MSG_A, 1, 2), ProbeResult(MSG_A, 1, 2));
        EXPECT_EQ(Trail(), (std::vector<std::string>{"C before", "B before", "A before", "proc", "A after", "B after",
                                                     "C after"}));

        std::array<bool, 3> hooked{true, true, true};
        for (int who : order) {
            owners[static_cast<size_t>(who)]->hooks.UnhookWindow(form.get());
            hooked[static_cast<size_t>(who)] = false;
            for (auto& owner : owners) owner->calls.clear();
            form.ClearSeen();
            EXPECT_EQ(SendMessageW(form.get(), MSG_A, 3, 4), ProbeResult(MSG_A, 3, 4));
            EXPECT_EQ(form.Seen().size(), 1u);
            for (size_t i = 0; i < owners.size(); ++i) {
                EXPECT_EQ(owners[i]->calls.size(), hooked[i] ? 2u : 0u) << "owner " << i;
            }
        }
        EXPECT_EQ(ProcOf(form.get()), ClassProcValue());
        EXPECT_EQ(HookStub::LiveCount(), stubs);
        ++orders;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(orders, 6);
}

TEST(HookChain, WindowDestroyedWhileHookedThenUnhookIsHarmless) {
    const long stubs = HookStub::LiveCount();
    RecordingOwner owner, other;
    TestWindow window, survivor;
    const HWND hWnd = window.get();
    ASSERT_EQ(owner.hooks.HookWindow(hWnd), 0);
    ASSERT_EQ(owner.hooks.HookWindow(survivor.get()), 1);
    ASSERT_EQ(other.hooks.HookWindow(hWnd), 0);
    owner.hooks.HookMessage(hWnd, WM_NCDESTROY, HOOK_AFTER);
    owner.hooks.HookMessage(survivor.get(), MSG_A, HOOK_AFTER);
    HookStub* const stub = owner.hooks.Records()[0].pStub;

    window.Destroy();
    EXPECT_EQ(owner.CallsFor(WM_NCDESTROY), 1u);
    EXPECT_TRUE(stub->Gone());
    EXPECT_FALSE(stub->Installed());
    EXPECT_EQ(owner.hooks.Records()[0].hWndHooked, hWnd);  // freed on unhook, not before

    owner.hooks.UnhookWindow(hWnd);
    other.hooks.UnhookWindow(hWnd);
    EXPECT_EQ(owner.hooks.Records()[0].hWndHooked, nullptr);
    EXPECT_EQ(owner.hooks.Records()[0].pStub, nullptr);
    EXPECT_EQ(other.hooks.Records()[0].hWndHooked, nullptr);
    EXPECT_EQ(HookStub::LiveCount(), stubs + 1);  // only the survivor's stub is left
    owner.hooks.UnhookWindow(hWnd);               // again: nothing left to do

    SendMessageW(survivor.get(), MSG_A, 0, 0);
    EXPECT_EQ(owner.CallsFor(MSG_A), 1u);
    EXPECT_EQ(owner.hooks.HookWindow(hWnd), -1);  // and the dead handle cannot be hooked
    owner.hooks.UnhookWindow(survivor.get());
    EXPECT_EQ(HookStub::LiveCount(), stubs);
}

TEST(HookChain, OwnerUnhooksFromInsideItsOwnCallback) {
    const long stubs = HookStub::LiveCount();
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);

    long liveInside = -1;
    owner.action = [&](bool bBefore, bool&, LRESULT& lReturn, HWND& lng_hWnd, UINT&, WPARAM&, LPARAM&) {
        if (bBefore) {
            owner.hooks.UnhookWindow(lng_hWnd);
            liveInside = HookStub::LiveCount();
            lReturn = 1;
        }
    };
    // The message still reaches the window; the after-callback of the removed hook does not run.
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 5, 6), ProbeResult(MSG_A, 5, 6));
    EXPECT_EQ(window.Seen().size(), 1u);
    ASSERT_EQ(owner.calls.size(), 1u);
    EXPECT_TRUE(owner.calls[0].bBefore);
    EXPECT_EQ(liveInside, stubs + 1);         // kept alive while its dispatch ran
    EXPECT_EQ(HookStub::LiveCount(), stubs);  // freed once it returned
    EXPECT_EQ(owner.hooks.Records()[0].hWndHooked, nullptr);
    EXPECT_EQ(ProcOf(window.get()), ClassProcValue());

    SendMessageW(window.get(), MSG_A, 0, 0);
    EXPECT_EQ(owner.calls.size(), 1u);
    EXPECT_EQ(window.Seen().size(), 2u);

    // Hooking again works as before.
    owner.action = nullptr;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);
    SendMessageW(window.get(), MSG_A, 0, 0);
    EXPECT_EQ(owner.calls.size(), 2u);
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookChain, InnerOwnerUnhooksTheOuterOwnerWhileItsDispatchIsRunning) {
    const long stubs = HookStub::LiveCount();
    TestWindow window;
    RecordingOwner inner("inner"), outer("outer");
    ASSERT_EQ(inner.hooks.HookWindow(window.get()), 0);
    ASSERT_EQ(outer.hooks.HookWindow(window.get()), 0);  // hooked last: runs first
    inner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE);
    outer.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);

    inner.action = [&](bool, bool&, LRESULT&, HWND& lng_hWnd, UINT&, WPARAM&, LPARAM&) {
        outer.hooks.UnhookWindow(lng_hWnd);
    };
    Trail().clear();
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 1), ProbeResult(MSG_A, 1, 1));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"outer before", "inner before", "proc"}));
    EXPECT_EQ(HookStub::LiveCount(), stubs + 1);

    inner.action = nullptr;
    Trail().clear();
    SendMessageW(window.get(), MSG_A, 1, 1);
    EXPECT_EQ(Trail(), (std::vector<std::string>{"inner before", "proc"}));
    inner.hooks.UnhookWindow(window.get());
    EXPECT_EQ(ProcOf(window.get()), ClassProcValue());
    EXPECT_EQ(HookStub::LiveCount(), stubs);
}

TEST(HookChain, OwnerDestroyedUnhooksEverything) {
    const long stubs = HookStub::LiveCount();
    TestWindow first, second;
    {
        RecordingOwner owner;
        ASSERT_EQ(owner.hooks.HookWindow(first.get()), 0);
        ASSERT_EQ(owner.hooks.HookWindow(second.get()), 1);
        owner.hooks.HookMessage(first.get(), MSG_A, HOOK_AFTER);
        EXPECT_EQ(HookStub::LiveCount(), stubs + 2);
    }
    EXPECT_EQ(HookStub::LiveCount(), stubs);
    EXPECT_EQ(ProcOf(first.get()), ClassProcValue());
    EXPECT_EQ(ProcOf(second.get()), ClassProcValue());
    EXPECT_EQ(SendMessageW(first.get(), MSG_A, 2, 2), ProbeResult(MSG_A, 2, 2));
}

TEST(HookChain, OwnerUnhooksDuringAMessageSentFromAnOuterCallback) {
    const long stubs = HookStub::LiveCount();
    TestWindow window;
    RecordingOwner inner("inner"), outer("outer");
    ASSERT_EQ(inner.hooks.HookWindow(window.get()), 0);
    ASSERT_EQ(outer.hooks.HookWindow(window.get()), 0);  // hooked last: runs first
    inner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);
    inner.hooks.HookMessage(window.get(), MSG_B, HOOK_BEFORE);
    outer.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);

    // The outer owner's callback sends a second message; while that one is dispatched the
    // inner owner, next in line for the first message, unhooks.
    outer.action = [&](bool bBefore, bool&, LRESULT&, HWND& lng_hWnd, UINT& uMsg, WPARAM&, LPARAM&) {
        if (bBefore && uMsg == MSG_A) SendMessageW(lng_hWnd, MSG_B, 0, 0);
    };
    inner.action = [&](bool, bool&, LRESULT&, HWND& lng_hWnd, UINT& uMsg, WPARAM&, LPARAM&) {
        if (uMsg == MSG_B) inner.hooks.UnhookWindow(lng_hWnd);
    };
    Trail().clear();
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 1), ProbeResult(MSG_A, 1, 1));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"outer before", "inner before", "proc", "proc", "outer after"}));
    EXPECT_EQ(HookStub::LiveCount(), stubs + 1);
    outer.hooks.UnhookWindow(window.get());
    EXPECT_EQ(ProcOf(window.get()), ClassProcValue());
    EXPECT_EQ(HookStub::LiveCount(), stubs);
}

TEST(HookChain, WindowDestroyedFromInsideACallbackWhileOthersAreHooked) {
    const long stubs = HookStub::LiveCount();
    TestWindow window;
    const HWND hWnd = window.get();
    RecordingOwner inner("inner"), outer("outer");
    ASSERT_EQ(inner.hooks.HookWindow(hWnd), 0);
    ASSERT_EQ(outer.hooks.HookWindow(hWnd), 0);
    inner.hooks.HookMessage(hWnd, MSG_A, HOOK_BEFORE | HOOK_AFTER);
    inner.hooks.HookMessage(hWnd, WM_NCDESTROY, HOOK_AFTER);
    outer.hooks.HookMessage(hWnd, MSG_A, HOOK_BEFORE | HOOK_AFTER);
    outer.action = [&](bool bBefore, bool&, LRESULT&, HWND&, UINT& uMsg, WPARAM&, LPARAM&) {
        if (bBefore && uMsg == MSG_A) window.Destroy();
    };
    Trail().clear();
    SendMessageW(hWnd, MSG_A, 0, 0);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(inner.CallsFor(WM_NCDESTROY), 1u);
    outer.hooks.UnhookWindow(hWnd);
    inner.hooks.UnhookWindow(hWnd);
    EXPECT_EQ(HookStub::LiveCount(), stubs);
}

}  // namespace
}  // namespace dorvane::test
