// Per-message dispatch through a hooked real window: forwarding, before and after delivery,
// bHandled, rewritten arguments, ANY_MESSAGE and nested messages.
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

#include <array>

namespace dorvane::test {
namespace {

using namespace hooktest;
using subclass::ANY_MESSAGE;
using subclass::HOOK_AFTER;
using subclass::HOOK_BEFORE;

struct Probe {
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

constexpr std::array<Probe, 4> kProbes{{{MSG_A, 1, 2}, {MSG_B, 7, -5}, {MSG_C, 0, 0}, {MSG_A, 99, 123456}}};

TEST(HookDispatch, WithoutRegisteredMessagesEverythingIsForwardedUnchanged) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);

    for (const Probe& p : kProbes) {
        EXPECT_EQ(SendMessageW(window.get(), p.uMsg, p.wParam, p.lParam), ProbeResult(p.uMsg, p.wParam, p.lParam));
    }
    ASSERT_EQ(window.Seen().size(), kProbes.size());
    for (size_t i = 0; i < kProbes.size(); ++i) {
        EXPECT_EQ(window.Seen()[i].uMsg, kProbes[i].uMsg);
        EXPECT_EQ(window.Seen()[i].wParam, kProbes[i].wParam);
        EXPECT_EQ(window.Seen()[i].lParam, kProbes[i].lParam);
    }
    // Messages the default procedure handles keep working through the hook.
    EXPECT_TRUE(SetWindowTextW(window.get(), L"通过钩子"));
    wchar_t text[32] = {};
    EXPECT_EQ(GetWindowTextW(window.get(), text, 32), 4);
    EXPECT_STREQ(text, L"通过钩子");
    EXPECT_TRUE(owner.calls.empty());
}

TEST(HookDispatch, AfterDeliverySeesTheResultAndMayReplaceIt) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);

    Trail().clear();
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 3, 4), ProbeResult(MSG_A, 3, 4));
    ASSERT_EQ(owner.calls.size(), 1u);
    EXPECT_FALSE(owner.calls[0].bBefore);
    EXPECT_EQ(owner.calls[0].lReturnSeen, ProbeResult(MSG_A, 3, 4));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"proc", "owner after"}));

    // A message not registered never reaches the owner.
    EXPECT_EQ(SendMessageW(window.get(), MSG_B, 3, 4), ProbeResult(MSG_B, 3, 4));
    EXPECT_EQ(owner.calls.size(), 1u);

    owner.action = [](bool, bool&, LRESULT& lReturn, HWND&, UINT&, WPARAM&, LPARAM&) { lReturn = lReturn * 2 + 1; };
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 5, 6), ProbeResult(MSG_A, 5, 6) * 2 + 1);
    EXPECT_EQ(window.Seen().size(), 3u);
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookDispatch, BeforeCallbackThatHandlesTheMessageStopsIt) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);

    owner.action = [](bool bBefore, bool& bHandled, LRESULT& lReturn, HWND&, UINT&, WPARAM&, LPARAM&) {
        if (bBefore) {
            bHandled = true;
            lReturn = 4242;
        }
    };
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 1), 4242);
    EXPECT_TRUE(window.Seen().empty());
    ASSERT_EQ(owner.calls.size(), 1u);
    EXPECT_TRUE(owner.calls[0].bBefore);
    EXPECT_EQ(owner.calls[0].lReturnSeen, 0);

    // Handled without touching lReturn: the result is 0.
    owner.action = [](bool, bool& bHandled, LRESULT&, HWND&, UINT&, WPARAM&, LPARAM&) { bHandled = true; };
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 1), 0);
    EXPECT_TRUE(window.Seen().empty());
    EXPECT_EQ(owner.calls.size(), 2u);

    // Not handled: before, the window's own procedure, then after, in that order.
    owner.action = nullptr;
    Trail().clear();
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 1), ProbeResult(MSG_A, 1, 1));
    EXPECT_EQ(Trail(), (std::vector<std::string>{"owner before", "proc", "owner after"}));
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookDispatch, BeforeCallbackRewritesWhatTheWindowAndTheAfterCallbackSee) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE);
    owner.hooks.HookMessage(window.get(), MSG_B, HOOK_AFTER);

    owner.action = [](bool bBefore, bool&, LRESULT& lReturn, HWND&, UINT& uMsg, WPARAM& wParam, LPARAM& lParam) {
        if (bBefore) {
            uMsg = MSG_B;
            wParam = 8;
            lParam = 9;
            lReturn = 555;  // replaced by the window's own result
        }
    };
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 2), ProbeResult(MSG_B, 8, 9));
    ASSERT_EQ(window.Seen().size(), 1u);
    EXPECT_EQ(window.Seen()[0].uMsg, MSG_B);
    EXPECT_EQ(window.Seen()[0].wParam, 8u);
    EXPECT_EQ(window.Seen()[0].lParam, 9);
    // The after-dispatch looks up the message as it now stands (MSG_B, registered after).
    ASSERT_EQ(owner.calls.size(), 2u);
    EXPECT_TRUE(owner.calls[0].bBefore);
    EXPECT_EQ(owner.calls[0].uMsg, MSG_A);
    EXPECT_FALSE(owner.calls[1].bBefore);
    EXPECT_EQ(owner.calls[1].uMsg, MSG_B);
    EXPECT_EQ(owner.calls[1].wParam, 8u);
    EXPECT_EQ(owner.calls[1].lReturnSeen, ProbeResult(MSG_B, 8, 9));
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookDispatch, AnyMessageDeliversEveryMessage) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), ANY_MESSAGE, HOOK_AFTER);
    EXPECT_EQ(owner.hooks.Records()[0].nAfterCount, -1);
    EXPECT_EQ(owner.hooks.Records()[0].nBeforeCount, 0);
    EXPECT_TRUE(owner.hooks.Records()[0].aAfterMsgs.empty());

    for (const Probe& p : kProbes) SendMessageW(window.get(), p.uMsg, p.wParam, p.lParam);
    SendMessageW(window.get(), WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(window.get(), WM_NULL, 0, 0);
    ASSERT_EQ(owner.calls.size(), kProbes.size() + 2);
    for (size_t i = 0; i < kProbes.size(); ++i) EXPECT_EQ(owner.calls[i].uMsg, kProbes[i].uMsg);
    EXPECT_EQ(owner.calls[kProbes.size()].uMsg, static_cast<UINT>(WM_GETTEXTLENGTH));
    EXPECT_EQ(owner.calls[kProbes.size() + 1].uMsg, static_cast<UINT>(WM_NULL));
    for (const Callback& c : owner.calls) EXPECT_FALSE(c.bBefore);

    // Every message is delivered already: adding one more changes nothing.
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);
    EXPECT_EQ(owner.hooks.Records()[0].nAfterCount, -1);
    owner.calls.clear();
    SendMessageW(window.get(), MSG_A, 0, 0);
    EXPECT_EQ(owner.calls.size(), 1u);
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookDispatch, MessageSentFromInsideTheCallbackGetsItsOwnDispatch) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);
    owner.hooks.HookMessage(window.get(), MSG_B, HOOK_BEFORE);

    LRESULT nested = 0;
    owner.action = [&](bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM&, LPARAM&) {
        if (!bBefore && uMsg == MSG_A) {
            nested = SendMessageW(lng_hWnd, MSG_B, 0, 0);
            lReturn += 1;  // this frame's result is untouched by the nested message
        } else if (bBefore && uMsg == MSG_B) {
            bHandled = true;
            lReturn = 77;
        }
    };
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 2, 3), ProbeResult(MSG_A, 2, 3) + 1);
    EXPECT_EQ(nested, 77);
    EXPECT_EQ(window.Seen().size(), 1u);  // MSG_B was handled before the window's procedure
    owner.hooks.UnhookWindow(window.get());
}

}  // namespace
}  // namespace dorvane::test
