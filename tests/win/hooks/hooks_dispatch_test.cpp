// Per-message dispatch through a hooked real window: forwarding, before and after delivery,
// bHandled, rewritten arguments, ANY_MESSAGE and nested messages.
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

namespace dorvane::test {
namespace {

using namespace hooktest;

class HookDispatch : public OneOwnerTest {};

constexpr std::array<SeenMessage, 4> kProbes{{{kMsgA, 1, 2}, {kMsgB, 7, -5}, {kMsgC, 0, 0}, {kMsgA, 99, 123456}}};

TEST_F(HookDispatch, WithoutRegisteredMessagesEverythingIsForwardedUnchanged) {
    for (const SeenMessage& p : kProbes) {
        EXPECT_EQ(SendMessageW(window_.get(), p.Msg, p.WParam, p.LParam), ProbeResult(p.Msg, p.WParam, p.LParam));
    }
    ASSERT_EQ(window_.Seen().size(), kProbes.size());
    for (size_t i = 0; i < kProbes.size(); ++i) {
        EXPECT_EQ(window_.Seen()[i].Msg, kProbes[i].Msg);
        EXPECT_EQ(window_.Seen()[i].WParam, kProbes[i].WParam);
        EXPECT_EQ(window_.Seen()[i].LParam, kProbes[i].LParam);
    }
    // Messages the default procedure handles keep working through the hook.
    EXPECT_TRUE(SetWindowTextW(window_.get(), L"通过钩子"));
    wchar_t text[32] = {};
    EXPECT_EQ(GetWindowTextW(window_.get(), text, 32), 4);
    EXPECT_STREQ(text, L"通过钩子");
    EXPECT_TRUE(owner_.Calls.empty());
}

TEST_F(HookDispatch, AfterDeliverySeesTheResultAndMayReplaceIt) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_AFTER);

    Trail().clear();
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 3, 4), ProbeResult(kMsgA, 3, 4));
    ASSERT_EQ(owner_.Calls.size(), 1u);
    EXPECT_FALSE(owner_.Calls[0].Before);
    EXPECT_EQ(owner_.Calls[0].ReturnSeen, ProbeResult(kMsgA, 3, 4));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"proc", "owner after"}));

    // A message not registered never reaches the owner.
    EXPECT_EQ(SendMessageW(window_.get(), kMsgB, 3, 4), ProbeResult(kMsgB, 3, 4));
    EXPECT_EQ(owner_.Calls.size(), 1u);

    owner_.Action = [](bool, bool&, LRESULT& lReturn, HWND&, UINT&, WPARAM&, LPARAM&) { lReturn = lReturn * 2 + 1; };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 5, 6), ProbeResult(kMsgA, 5, 6) * 2 + 1);
    EXPECT_EQ(window_.Seen().size(), 3u);
}

TEST_F(HookDispatch, BeforeCallbackThatHandlesTheMessageStopsIt) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);

    owner_.Action = [](bool bBefore, bool& bHandled, LRESULT& lReturn, HWND&, UINT&, WPARAM&, LPARAM&) {
        if (bBefore) {
            bHandled = true;
            lReturn = 4242;
        }
    };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 1), 4242);
    EXPECT_TRUE(window_.Seen().empty());
    ASSERT_EQ(owner_.Calls.size(), 1u);
    EXPECT_TRUE(owner_.Calls[0].Before);
    EXPECT_EQ(owner_.Calls[0].ReturnSeen, 0);

    // Handled without touching lReturn: the result is 0.
    owner_.Action = [](bool, bool& bHandled, LRESULT&, HWND&, UINT&, WPARAM&, LPARAM&) { bHandled = true; };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 1), 0);
    EXPECT_TRUE(window_.Seen().empty());
    EXPECT_EQ(owner_.Calls.size(), 2u);

    // Not handled: before, the window's own procedure, then after, in that order.
    owner_.Action = nullptr;
    Trail().clear();
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 1), ProbeResult(kMsgA, 1, 1));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"owner before", "proc", "owner after"}));
}

TEST_F(HookDispatch, BeforeCallbackRewritesWhatTheWindowAndTheAfterCallbackSee) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE);
    owner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_AFTER);

    owner_.Action = [](bool bBefore, bool&, LRESULT& lReturn, HWND&, UINT& uMsg, WPARAM& wParam, LPARAM& lParam) {
        if (bBefore) {
            uMsg = kMsgB;
            wParam = 8;
            lParam = 9;
            lReturn = 555;  // replaced by the window's own result
        }
    };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 2), ProbeResult(kMsgB, 8, 9));
    ASSERT_EQ(window_.Seen().size(), 1u);
    EXPECT_EQ(window_.Seen()[0].Msg, kMsgB);
    EXPECT_EQ(window_.Seen()[0].WParam, 8u);
    EXPECT_EQ(window_.Seen()[0].LParam, 9);
    // The after-dispatch looks up the message as it now stands (kMsgB, registered after).
    ASSERT_EQ(owner_.Calls.size(), 2u);
    EXPECT_TRUE(owner_.Calls[0].Before);
    EXPECT_EQ(owner_.Calls[0].Msg, kMsgA);
    EXPECT_FALSE(owner_.Calls[1].Before);
    EXPECT_EQ(owner_.Calls[1].Msg, kMsgB);
    EXPECT_EQ(owner_.Calls[1].WParam, 8u);
    EXPECT_EQ(owner_.Calls[1].ReturnSeen, ProbeResult(kMsgB, 8, 9));
}

TEST_F(HookDispatch, AnyMessageDeliversEveryMessage) {
    owner_.Hooks.HookMessage(window_.get(), ANY_MESSAGE, HOOK_AFTER);
    const HookStub& stub = *owner_.Hooks.Records()[0].PStub;
    EXPECT_EQ(stub.After().Count(), -1);
    EXPECT_EQ(stub.Before().Count(), 0);
    EXPECT_TRUE(stub.After().Messages().empty());

    for (const SeenMessage& p : kProbes) SendMessageW(window_.get(), p.Msg, p.WParam, p.LParam);
    SendMessageW(window_.get(), WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(window_.get(), WM_NULL, 0, 0);
    ASSERT_EQ(owner_.Calls.size(), kProbes.size() + 2);
    for (size_t i = 0; i < kProbes.size(); ++i) EXPECT_EQ(owner_.Calls[i].Msg, kProbes[i].Msg);
    EXPECT_EQ(owner_.Calls[kProbes.size()].Msg, static_cast<UINT>(WM_GETTEXTLENGTH));
    EXPECT_EQ(owner_.Calls[kProbes.size() + 1].Msg, static_cast<UINT>(WM_NULL));
    for (const Callback& c : owner_.Calls) EXPECT_FALSE(c.Before);

    // Every message is delivered already: adding one more changes nothing.
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_AFTER);
    EXPECT_EQ(stub.After().Count(), -1);
    owner_.Calls.clear();
    SendMessageW(window_.get(), kMsgA, 0, 0);
    EXPECT_EQ(owner_.Calls.size(), 1u);

    // The before-table takes every message on its own: each message then comes twice.
    owner_.Hooks.HookMessage(window_.get(), ANY_MESSAGE, HOOK_BEFORE);
    EXPECT_EQ(stub.Before().Count(), -1);
    owner_.Calls.clear();
    SendMessageW(window_.get(), WM_NULL, 0, 0);
    ASSERT_EQ(owner_.Calls.size(), 2u);
    EXPECT_TRUE(owner_.Calls[0].Before);
}

TEST_F(HookDispatch, ExceptionFromTheCallbackEndsAtTheStubAndKeepsWhatWasSet) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);

    // Thrown before: the message still goes on to the window and to the after-callback.
    owner_.Action = [](bool bBefore, bool&, LRESULT& lReturn, HWND&, UINT&, WPARAM&, LPARAM&) {
        lReturn += 1;
        throw std::runtime_error(bBefore ? "before" : "after");
    };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 2), ProbeResult(kMsgA, 1, 2) + 1);
    EXPECT_EQ(window_.Seen().size(), 1u);
    EXPECT_EQ(owner_.Calls.size(), 2u);

    // Handled, then thrown: the message stops with the result the callback set.
    owner_.Action = [](bool, bool& bHandled, LRESULT& lReturn, HWND&, UINT&, WPARAM&, LPARAM&) {
        bHandled = true;
        lReturn = 9;
        throw std::runtime_error("handled");
    };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 2), 9);
    EXPECT_EQ(window_.Seen().size(), 1u);
}

TEST_F(HookDispatch, MessageSentFromInsideTheCallbackGetsItsOwnDispatch) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_AFTER);
    owner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_BEFORE);

    LRESULT nested = 0;
    owner_.Action = [&](bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM&, LPARAM&) {
        if (!bBefore && uMsg == kMsgA) {
            nested = SendMessageW(lng_hWnd, kMsgB, 0, 0);
            lReturn += 1;  // this frame's result is untouched by the nested message
        } else if (bBefore && uMsg == kMsgB) {
            bHandled = true;
            lReturn = 77;
        }
    };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 2, 3), ProbeResult(kMsgA, 2, 3) + 1);
    EXPECT_EQ(nested, 77);
    EXPECT_EQ(window_.Seen().size(), 1u);  // kMsgB was handled before the window's procedure
}

}  // namespace
}  // namespace dorvane::test
