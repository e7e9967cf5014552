// Several owners on one window, unhooked in every order; windows destroyed while hooked;
// unhooking from inside a callback.
#include "tests/win/hooks/hook_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

namespace dorvane::test {
namespace {

using namespace hooktest;

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
            ASSERT_EQ(owner->Hooks.HookWindow(form.get()), 0);
            owner->Hooks.HookMessage(form.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);
        }
        // The last hooked runs first before the window and last after it.
        Trail().clear();
        EXPECT_EQ(SendMessageW(form.get(), kMsgA, 1, 2), ProbeResult(kMsgA, 1, 2));
        EXPECT_EQ(Trail(), (std::vector<std::string>{"C before", "B before", "A before", "proc", "A after", "B after",
                                                     "C after"}));

        std::array<bool, 3> hooked{true, true, true};
        for (int who : order) {
            owners[static_cast<size_t>(who)]->Hooks.UnhookWindow(form.get());
            hooked[static_cast<size_t>(who)] = false;
            for (auto& owner : owners) owner->Calls.clear();
            form.ClearSeen();
            EXPECT_EQ(SendMessageW(form.get(), kMsgA, 3, 4), ProbeResult(kMsgA, 3, 4));
            EXPECT_EQ(form.Seen().size(), 1u);
            for (size_t i = 0; i < owners.size(); ++i) {
                EXPECT_EQ(owners[i]->Calls.size(), hooked[i] ? 2u : 0u) << "owner " << i;
            }
        }
        EXPECT_EQ(ProcOf(form.get()), ClassProcValue());
        EXPECT_EQ(HookStub::LiveCount(), stubs);
        ++orders;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(orders, 6);
}

// Another subclass put over the hooks (the common controls' own, as screen tools and the
// tests' spies use): the window keeps working whichever of the two goes first, and with
// neither left it has its class's procedure again.
LRESULT CALLBACK CountingSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count) {
    if (msg == kMsgA) ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

TEST(HookChain, ASubclassPutOverTheHooksKeepsTheWindowWorkingWhicheverGoesFirst) {
    for (const bool hooksFirst : {true, false}) {
        SCOPED_TRACE(hooksFirst ? "hooks removed first" : "the other subclass removed first");
        TestWindow form;
        RecordingOwner owner;
        int counted = 0;
        ASSERT_EQ(owner.Hooks.HookWindow(form.get()), 0);
        owner.Hooks.HookMessage(form.get(), kMsgA, HOOK_BEFORE);
        ASSERT_TRUE(SetWindowSubclass(form.get(), &CountingSubclass, 1, reinterpret_cast<DWORD_PTR>(&counted)));
        auto send = [&] {
            form.ClearSeen();
            EXPECT_EQ(SendMessageW(form.get(), kMsgA, 5, 6), ProbeResult(kMsgA, 5, 6));
            EXPECT_EQ(form.Seen().size(), 1u);
        };
        send();
        EXPECT_EQ(counted, 1);
        EXPECT_EQ(owner.Calls.size(), 1u);
        if (hooksFirst) {
            owner.Hooks.UnhookWindow(form.get());
            send();
            EXPECT_EQ(counted, 2) << "the subclass over the hooks still sees the message";
            EXPECT_EQ(owner.Calls.size(), 1u);
            EXPECT_TRUE(RemoveWindowSubclass(form.get(), &CountingSubclass, 1));
            send();
            EXPECT_EQ(counted, 2);
        } else {
            EXPECT_TRUE(RemoveWindowSubclass(form.get(), &CountingSubclass, 1));
            send();
            EXPECT_EQ(owner.Calls.size(), 2u);
            owner.Hooks.UnhookWindow(form.get());
            send();
            EXPECT_EQ(ProcOf(form.get()), ClassProcValue());
            EXPECT_EQ(counted, 1);
        }
    }
}

TEST(HookChain, WindowDestroyedWhileHookedThenUnhookIsHarmless) {
    const long stubs = HookStub::LiveCount();
    RecordingOwner owner, other;
    TestWindow window, survivor;
    const HWND hwnd = window.get();
    ASSERT_EQ(owner.Hooks.HookWindow(hwnd), 0);
    ASSERT_EQ(owner.Hooks.HookWindow(survivor.get()), 1);
    ASSERT_EQ(other.Hooks.HookWindow(hwnd), 0);
    owner.Hooks.HookMessage(hwnd, WM_NCDESTROY, HOOK_AFTER);
    owner.Hooks.HookMessage(survivor.get(), kMsgA, HOOK_AFTER);
    const HookStub* const stub = owner.Hooks.Records()[0].PStub.get();

    window.Destroy();
    EXPECT_EQ(owner.CallsFor(WM_NCDESTROY), 1u);
    EXPECT_TRUE(stub->Gone());
    EXPECT_FALSE(stub->Installed());
    EXPECT_EQ(owner.Hooks.Records()[0].HWndHooked, hwnd);  // freed on unhook, not before

    owner.Hooks.UnhookWindow(hwnd);
    other.Hooks.UnhookWindow(hwnd);
    EXPECT_EQ(owner.Hooks.Records()[0].HWndHooked, nullptr);
    EXPECT_EQ(owner.Hooks.Records()[0].PStub, nullptr);
    EXPECT_EQ(other.Hooks.Records()[0].HWndHooked, nullptr);
    EXPECT_EQ(HookStub::LiveCount(), stubs + 1);  // only the survivor's stub is left
    owner.Hooks.UnhookWindow(hwnd);               // again: nothing left to do

    SendMessageW(survivor.get(), kMsgA, 0, 0);
    EXPECT_EQ(owner.CallsFor(kMsgA), 1u);
    EXPECT_EQ(owner.Hooks.HookWindow(hwnd), -1);  // and the dead handle cannot be hooked
    owner.Hooks.UnhookWindow(survivor.get());
    EXPECT_EQ(HookStub::LiveCount(), stubs);
}

class HookUnhookInside : public OneOwnerTest {};

TEST_F(HookUnhookInside, OwnerUnhooksFromInsideItsOwnCallback) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);

    long liveInside = -1;
    owner_.Action = [&](bool bBefore, bool&, LRESULT& lReturn, HWND& lng_hWnd, UINT&, WPARAM&, LPARAM&) {
        if (bBefore) {
            owner_.Hooks.UnhookWindow(lng_hWnd);
            liveInside = HookStub::LiveCount();
            lReturn = 1;
        }
    };
    // The message still reaches the window; the after-callback of the removed hook does not run.
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 5, 6), ProbeResult(kMsgA, 5, 6));
    EXPECT_EQ(window_.Seen().size(), 1u);
    ASSERT_EQ(owner_.Calls.size(), 1u);
    EXPECT_TRUE(owner_.Calls[0].Before);
    EXPECT_EQ(liveInside, stubsBefore_ + 1);         // kept alive while its dispatch ran
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_);  // freed once it returned
    EXPECT_EQ(owner_.Hooks.Records()[0].HWndHooked, nullptr);
    EXPECT_EQ(ProcOf(window_.get()), ClassProcValue());

    SendMessageW(window_.get(), kMsgA, 0, 0);
    EXPECT_EQ(owner_.Calls.size(), 1u);
    EXPECT_EQ(window_.Seen().size(), 2u);

    // Hooking again works as before.
    owner_.Action = nullptr;
    ASSERT_EQ(owner_.Hooks.HookWindow(window_.get()), 0);
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_AFTER);
    SendMessageW(window_.get(), kMsgA, 0, 0);
    EXPECT_EQ(owner_.Calls.size(), 2u);
}

TEST(HookChain, OwnerDestroyedUnhooksEverything) {
    const long stubs = HookStub::LiveCount();
    TestWindow first, second;
    {
        RecordingOwner owner;
        ASSERT_EQ(owner.Hooks.HookWindow(first.get()), 0);
        ASSERT_EQ(owner.Hooks.HookWindow(second.get()), 1);
        owner.Hooks.HookMessage(first.get(), kMsgA, HOOK_AFTER);
        EXPECT_EQ(HookStub::LiveCount(), stubs + 2);
    }
    EXPECT_EQ(HookStub::LiveCount(), stubs);
    EXPECT_EQ(ProcOf(first.get()), ClassProcValue());
    EXPECT_EQ(ProcOf(second.get()), ClassProcValue());
    EXPECT_EQ(SendMessageW(first.get(), kMsgA, 2, 2), ProbeResult(kMsgA, 2, 2));
}

class HookTwoOwners : public TwoOwnersTest {};

TEST_F(HookTwoOwners, InnerOwnerUnhooksTheOuterOwnerWhileItsDispatchIsRunning) {
    inner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE);
    outer_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);

    inner_.Action = [&](bool, bool&, LRESULT&, HWND& lng_hWnd, UINT&, WPARAM&, LPARAM&) {
        outer_.Hooks.UnhookWindow(lng_hWnd);
    };
    Trail().clear();
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 1), ProbeResult(kMsgA, 1, 1));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"outer before", "inner before", "proc"}));
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_ + 1);

    inner_.Action = nullptr;
    Trail().clear();
    SendMessageW(window_.get(), kMsgA, 1, 1);
    EXPECT_EQ(Trail(), (std::vector<std::string>{"inner before", "proc"}));
    inner_.Hooks.UnhookWindow(window_.get());
    EXPECT_EQ(ProcOf(window_.get()), ClassProcValue());
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_);
}

TEST_F(HookTwoOwners, OwnerUnhooksDuringAMessageSentFromAnOuterCallback) {
    inner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);
    inner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_BEFORE);
    outer_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);

    // The outer owner's callback sends a second message; while that one is dispatched the
    // inner owner, next in line for the first message, unhooks.
    outer_.Action = [&](bool bBefore, bool&, LRESULT&, HWND& lng_hWnd, UINT& uMsg, WPARAM&, LPARAM&) {
        if (bBefore && uMsg == kMsgA) SendMessageW(lng_hWnd, kMsgB, 0, 0);
    };
    inner_.Action = [&](bool, bool&, LRESULT&, HWND& lng_hWnd, UINT& uMsg, WPARAM&, LPARAM&) {
        if (uMsg == kMsgB) inner_.Hooks.UnhookWindow(lng_hWnd);
    };
    Trail().clear();
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 1), ProbeResult(kMsgA, 1, 1));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"outer before", "inner before", "proc", "proc", "outer after"}));
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_ + 1);
    outer_.Hooks.UnhookWindow(window_.get());
    EXPECT_EQ(ProcOf(window_.get()), ClassProcValue());
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_);
}

TEST_F(HookTwoOwners, WindowDestroyedFromInsideACallbackWhileOthersAreHooked) {
    const HWND hwnd = window_.get();
    inner_.Hooks.HookMessage(hwnd, kMsgA, HOOK_BEFORE | HOOK_AFTER);
    inner_.Hooks.HookMessage(hwnd, WM_NCDESTROY, HOOK_AFTER);
    outer_.Hooks.HookMessage(hwnd, kMsgA, HOOK_BEFORE | HOOK_AFTER);
    outer_.Action = [&](bool bBefore, bool&, LRESULT&, HWND&, UINT& uMsg, WPARAM&, LPARAM&) {
        if (bBefore && uMsg == kMsgA) window_.Destroy();
    };
    Trail().clear();
    SendMessageW(hwnd, kMsgA, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(inner_.CallsFor(WM_NCDESTROY), 1u);
    outer_.Hooks.UnhookWindow(hwnd);
    inner_.Hooks.UnhookWindow(hwnd);
    EXPECT_EQ(HookStub::LiveCount(), stubsBefore_);
}

}  // namespace
}  // namespace dorvane::test
