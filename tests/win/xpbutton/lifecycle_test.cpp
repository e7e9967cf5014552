// XPButton2's lifecycle in a real container: the captions a new instance picks, loading a
// disabled button, the ambient default-button display, the hooks of run mode and design
// mode, and what Terminate undoes.
#include <gtest/gtest.h>

#include "tests/win/xpbutton/model_support.h"

using namespace model_testing;
using testing_support::TestForm;
using xpbutton::STATE_DISABLED;
using xpbutton::STATE_FOCUSED;
using xpbutton::STATE_NORMAL;

namespace {

RECT Slot(int i) { return RECT{10, 10 + 35 * i, 92, 37 + 35 * i}; }

TEST(XPButtonLifecycle, NewInstancesTakeDistinctStandardCaptions) {
    TestForm form;
    const wchar_t* expected[] = {L"&OK", L"&Cancel", L"&Apply", L"XPButton24"};
    const wchar_t* keys[] = {L"o", L"c", L"a", L""};
    for (int i = 0; i < 4; ++i) {
        auto b = AddLogged(form, L"XPButton2" + std::to_wstring(i + 1), nullptr, nullptr, true, Slot(i));
        ASSERT_FALSE(b.LoadStatus.has_value());
        EXPECT_EQ(b.Button().Caption(), expected[i]);
        EXPECT_EQ(b.Site->AccessKeys(), keys[i]);
        EXPECT_EQ(b.Button().ForeColor(), 0);
        EXPECT_TRUE(b.Button().Enabled());
        EXPECT_TRUE(b.Button().FocusRect());
        EXPECT_EQ(b.Button().GetFlags().State, STATE_NORMAL);
    }
}

TEST(XPButtonLifecycle, CaptionTestIsCaseSensitiveAndMatchesInsideLongerText) {
    {
        TestForm form;
        const host::PropertyBag lower = testing_support::ButtonBag(L"&ok");
        AddLogged(form, L"XPButton21", &lower, nullptr, true, Slot(0));
        auto b = AddLogged(form, L"XPButton22", nullptr, nullptr, true, Slot(1));
        EXPECT_EQ(b.Button().Caption(), L"&OK");
    }
    {
        TestForm form;
        const host::PropertyBag inside = testing_support::ButtonBag(L"x|&OK|y");
        AddLogged(form, L"XPButton21", &inside, nullptr, true, Slot(0));
        auto b = AddLogged(form, L"XPButton22", nullptr, nullptr, true, Slot(1));
        EXPECT_EQ(b.Button().Caption(), L"&Cancel");
    }
    {
        // Other kinds of control contribute nothing; the order of the siblings does not matter.
        TestForm form;
        form.Container().AddPlainControl(std::make_unique<host::PlainControl>(L"Label", L"&OK"));
        const host::PropertyBag apply = testing_support::ButtonBag(L"&Apply");
        const host::PropertyBag cancel = testing_support::ButtonBag(L"&Cancel");
        AddLogged(form, L"XPButton21", &apply, nullptr, true, Slot(0));
        AddLogged(form, L"XPButton22", &cancel, nullptr, true, Slot(1));
        auto b = AddLogged(form, L"XPButton23", nullptr, nullptr, true, Slot(2));
        EXPECT_EQ(b.Button().Caption(), L"&OK");
    }
}

TEST(XPButtonLifecycle, NewInstanceIsNeverHooked) {
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr, true);
    EXPECT_EQ(HookedRecordCount(b.Button()), 0);
    EXPECT_EQ(b.Button().GetFlags().ParentWindow, nullptr);
    b.Site->Terminate();  // unhooking nothing is harmless
    EXPECT_EQ(HookedRecordCount(b.Button()), 0);
}

TEST(XPButtonLifecycle, SavedDisabledButtonLoadsDisabled) {
    TestForm form;
    host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    bag.Set(L"Enabled", false);
    auto b = AddLogged(form, L"XPButton21", &bag, nullptr);
    ASSERT_FALSE(b.LoadStatus.has_value());
    EXPECT_EQ(b.Button().GetFlags().State, STATE_DISABLED);
    EXPECT_FALSE(b.Button().GetFlags().NoRedraw);
    EXPECT_FALSE(::IsWindowEnabled(b.Site->Hwnd()));
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_DISABLED));
}

TEST(XPButtonLifecycle, AmbientChangeDrawsOnlyForDisplayAsDefault) {
    TestForm form;
    // The ambient is already True, but the button only learns it from a notification.
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr, true, kBounds, /*displayAsDefault=*/true);
    auto& button = b.Button();
    EXPECT_FALSE(button.GetFlags().Default);

    Mark(*b.Site);
    ASSERT_FALSE(b.Site->NotifyAmbientChanged(L"BackColor").has_value());
    EXPECT_TRUE(button.GetFlags().Default);
    EXPECT_FALSE(Redrawn(*b.Site));
    ASSERT_FALSE(b.Site->NotifyAmbientChanged(L"displayasdefault").has_value());  // names match exactly
    EXPECT_FALSE(Redrawn(*b.Site));
    EXPECT_EQ(button.GetFlags().State, STATE_NORMAL);

    ASSERT_FALSE(b.Site->NotifyAmbientChanged(L"DisplayAsDefault").has_value());
    EXPECT_EQ(button.GetFlags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_FOCUSED));

    ASSERT_FALSE(b.Site->SetDisplayAsDefault(false).has_value());
    EXPECT_FALSE(button.GetFlags().Default);
    EXPECT_EQ(button.GetFlags().State, STATE_NORMAL);
    Mark(*b.Site);
    ASSERT_FALSE(b.Site->SetDisplayAsDefault(false).has_value());  // already normal
    EXPECT_FALSE(Redrawn(*b.Site));

    // Disabled: the flag follows, the look stays.
    button.SetEnabled(false);
    ASSERT_FALSE(b.Site->SetDisplayAsDefault(true).has_value());
    EXPECT_TRUE(button.GetFlags().Default);
    EXPECT_EQ(button.GetFlags().State, STATE_DISABLED);
}

void ExpectRunModeHooks(bool mdiChild, UINT activation) {
    TestForm form(400, 300, mdiChild);
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto b = AddLogged(form, L"XPButton21", &bag, nullptr, true);
    ASSERT_FALSE(b.LoadStatus.has_value());
    const auto& button = b.Button();
    EXPECT_EQ(button.GetFlags().ParentWindow, form.Hwnd());
    EXPECT_EQ(HookedRecordCount(button), 2);
    EXPECT_EQ(AfterMessagesOf(button, b.Site->Hwnd()), std::vector<UINT>{WM_MOUSELEAVE});
    EXPECT_EQ(AfterMessagesOf(button, form.Hwnd()), std::vector<UINT>{activation});
    for (const auto& r : button.Hooks().Records()) EXPECT_EQ(r.PStub ? r.PStub->Before().Count() : 0, 0);

    b.Site->Terminate();
    EXPECT_EQ(HookedRecordCount(button), 0);
}

TEST(XPButtonLifecycle, RunModeHooksActivateOnAnOrdinaryForm) { ExpectRunModeHooks(false, WM_ACTIVATE); }

TEST(XPButtonLifecycle, RunModeHooksNcActivateOnAnMdiChild) { ExpectRunModeHooks(true, WM_NCACTIVATE); }

TEST(XPButtonLifecycle, HookedActivationReachesTheButtonUntilTerminate) {
    std::vector<int32_t> seen;
    TestForm form;
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto b = AddLogged(form, L"XPButton21", &bag, nullptr, true);
    auto& button = b.Button();
    button.Events.FormActivate = [&](int32_t& state) { seen.push_back(state); };
    ::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    ::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1}));
    EXPECT_TRUE(button.GetFlags().FormActive);

    b.Site->Terminate();
    ::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_FALSE(Hooks(button, form.Hwnd()));
    EXPECT_FALSE(Hooks(button, b.Site->Hwnd()));
}

TEST(XPButtonLifecycle, DesignModeHooksNothingAndTerminateUnhooksNothing) {
    std::vector<int32_t> runSeen, designSeen;
    TestForm form;
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto run = AddLogged(form, L"XPButton21", &bag, nullptr, true, Slot(0));
    auto design = AddLogged(form, L"XPButton22", &bag, nullptr, false, Slot(1));
    ASSERT_FALSE(design.LoadStatus.has_value());
    EXPECT_EQ(HookedRecordCount(design.Button()), 0);
    EXPECT_EQ(design.Button().GetFlags().ParentWindow, form.Hwnd());
    EXPECT_EQ(design.Button().GetFlags().State, STATE_NORMAL);

    run.Button().Events.FormActivate = [&](int32_t& s) { runSeen.push_back(s); };
    design.Button().Events.FormActivate = [&](int32_t& s) { designSeen.push_back(s); };
    ::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(runSeen.size(), 1u);
    EXPECT_TRUE(designSeen.empty());
    EXPECT_FALSE(design.Button().GetFlags().FormActive);

    design.Site->Terminate();
    EXPECT_EQ(HookedRecordCount(design.Button()), 0);
    // The other button's hook on the form is untouched.
    ::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(runSeen, (std::vector<int32_t>{1, 0}));
}

TEST(XPButtonLifecycle, ContainerCloseDownUnhooksEveryButton) {
    TestForm form;
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto first = AddLogged(form, L"XPButton21", &bag, nullptr, true, Slot(0));
    auto second = AddLogged(form, L"XPButton22", &bag, nullptr, true, Slot(1));
    ASSERT_EQ(HookedRecordCount(first.Button()), 2);
    ASSERT_EQ(HookedRecordCount(second.Button()), 2);
    const HWND w1 = first.Site->Hwnd(), w2 = second.Site->Hwnd();
    form.Container().TerminateAll();
    EXPECT_EQ(HookedRecordCount(first.Button()), 0);
    EXPECT_EQ(HookedRecordCount(second.Button()), 0);
    EXPECT_FALSE(::IsWindow(w1));
    EXPECT_FALSE(::IsWindow(w2));
    // The form's own procedure is back: it still answers after its hooks are gone.
    EXPECT_EQ(::SendMessageW(form.Hwnd(), WM_ACTIVATE, WA_ACTIVE, 0), 0);
}

TEST(XPButtonLifecycle, FormWindowGoneBeforeTheControlsAreTerminated) {
    // Closing the window destroys the button windows first; the buttons' Terminate then
    // unhooks windows that no longer exist, which must stay harmless and quiet.
    TestForm form;
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto first = AddLogged(form, L"XPButton21", &bag, nullptr, true, Slot(0));
    auto second = AddLogged(form, L"XPButton22", &bag, nullptr, true, Slot(1));
    ASSERT_TRUE(::DestroyWindow(form.Hwnd()));
    EXPECT_EQ(first.Site->Hwnd(), nullptr);
    EXPECT_EQ(second.Site->Hwnd(), nullptr);
    EXPECT_NO_THROW(form.Container().TerminateAll());
    EXPECT_TRUE(first.Site->Terminated());
    EXPECT_EQ(HookedRecordCount(first.Button()), 0);
    EXPECT_EQ(HookedRecordCount(second.Button()), 0);
}

TEST(XPButtonLifecycle, TerminateEndsTheFontSubscription) {
    ChangeLog log;
    TestForm form;
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto b = AddLogged(form, L"XPButton21", &bag, &log, false);
    host::FontRef font = b.Button().Font();
    const size_t subscribers = font->SubscriberCount();
    ASSERT_GE(subscribers, 1u);
    b.Site->Terminate();
    EXPECT_EQ(font->SubscriberCount(), subscribers - 1);
    EXPECT_EQ(b.Button().Font(), nullptr);
    log.Clear();
    font->SetSize(14);
    EXPECT_TRUE(log.Names.empty());
}

}  // namespace
