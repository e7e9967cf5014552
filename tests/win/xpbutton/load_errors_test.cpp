// Errors that end ReadProperties: the steps already done stay done, the rest is skipped,
// and the error reaches the container as the result of the load. Terminate stays quiet.
#include <gtest/gtest.h>

#include "host/error.h"
#include "tests/win/xpbutton/model_support.h"

namespace dorvane::test {
namespace {

using testing_support::TestForm;
using xpbutton::STATE_DISABLED;

using Names = std::vector<std::wstring>;

// A hosting form that lacks some members: each one it lacks raises "not supported".
class PartialParent : public host::IParent {
public:
    PartialParent(HWND form, bool hasHwnd, bool hasMdiChild) : form_(form), hasHwnd_(hasHwnd), hasMdi_(hasMdiChild) {}
    HWND hwnd() override {
        if (!hasHwnd_) host::RaiseNotSupported(L"hwnd");
        return form_;
    }
    bool MDIChild() override {
        if (!hasMdi_) host::RaiseNotSupported(L"MDIChild");
        return false;
    }
    std::vector<host::Control*> Controls() override { return {}; }

private:
    HWND form_;
    bool hasHwnd_, hasMdi_;
};

struct Loaded {
    std::unique_ptr<host::ControlSite> Site;
    host::Status Status;
    xpbutton::XPButton2& Button() const { return Site->ControlAs<xpbutton::XPButton2>(); }
};

Loaded LoadUnder(TestForm& form, host::IParent& parent, const host::PropertyBag& bag, ChangeLog& log) {
    host::SiteSettings settings;
    settings.Name = L"XPButton21";
    settings.Parent = &parent;
    settings.ParentWindow = form.Hwnd();
    settings.Bounds = kBounds;
    settings.OnPropertyChanged = [&log](const std::wstring& n) { log.Names.push_back(n); };
    Loaded l;
    l.Site = host::ControlSite::Create(std::make_unique<xpbutton::XPButton2>(), std::move(settings));
    l.Status = l.Site->Load(&bag);
    return l;
}

TEST(XPButtonLoadErrors, ParentWithoutHwndEndsBeforeAnythingIsRead) {
    ChangeLog log;
    TestForm form;
    PartialParent parent(form.Hwnd(), /*hasHwnd=*/false, /*hasMdiChild=*/true);
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    Loaded l = LoadUnder(form, parent, bag, log);
    ASSERT_TRUE(l.Status.has_value());
    EXPECT_EQ(l.Status->Number(), host::ErrorNumber::NotSupported);
    EXPECT_NE(l.Status->Description().find(L"hwnd"), std::wstring::npos);
    EXPECT_TRUE(log.Names.empty());
    EXPECT_EQ(l.Button().Caption(), L"");
    EXPECT_TRUE(l.Button().GetFlags().NoRedraw);
    EXPECT_EQ(l.Button().GetFlags().State, STATE_DISABLED);
    EXPECT_EQ(HookedRecordCount(l.Button()), 0);

    // Terminate is quiet: it neither throws nor reports.
    EXPECT_NO_THROW(l.Site->Terminate());
    EXPECT_EQ(l.Site->LastError()->Number(), host::ErrorNumber::NotSupported);
}

TEST(XPButtonLoadErrors, ParentWithoutMdiChildEndsAfterHookingBothWindows) {
    ChangeLog log;
    TestForm form;
    PartialParent parent(form.Hwnd(), true, /*hasMdiChild=*/false);
    // Stored disabled: no setter draws (the look is already "disabled"), so only the final
    // redraw of the load would paint the picture.
    host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    bag.Set(L"Enabled", false);
    Loaded l = LoadUnder(form, parent, bag, log);
    ASSERT_TRUE(l.Status.has_value());
    EXPECT_EQ(l.Status->Number(), host::ErrorNumber::NotSupported);
    EXPECT_EQ(log.Names, (Names{L"Caption", L"ForeColor", L"Font", L"FocusRect", L"Enabled"}));

    auto& button = l.Button();
    EXPECT_EQ(HookedRecordCount(button), 2);
    EXPECT_EQ(AfterMessagesOf(button, l.Site->Hwnd()), std::vector<UINT>{0x2A3});
    EXPECT_TRUE(Hooks(button, form.Hwnd()));
    EXPECT_TRUE(AfterMessagesOf(button, form.Hwnd()).empty());
    EXPECT_NE(FacePixel(*l.Site), ExpectedFace(STATE_DISABLED));  // never painted
    EXPECT_FALSE(button.GetFlags().NoRedraw);                     // but drawing works
    button.DrawButton(STATE_DISABLED);
    EXPECT_EQ(FacePixel(*l.Site), ExpectedFace(STATE_DISABLED));

    // The close-down unhooks both windows, quietly.
    EXPECT_NO_THROW(l.Site->Terminate());
    EXPECT_EQ(HookedRecordCount(button), 0);
}

TEST(XPButtonLoadErrors, CompleteParentPaintsAtTheEndOfTheLoad) {
    // The counterpart of the test above: with MDIChild present the same bag is painted.
    ChangeLog log;
    TestForm form;
    PartialParent parent(form.Hwnd(), true, true);
    host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    bag.Set(L"Enabled", false);
    Loaded l = LoadUnder(form, parent, bag, log);
    ASSERT_FALSE(l.Status.has_value());
    EXPECT_EQ(FacePixel(*l.Site), ExpectedFace(STATE_DISABLED));
    EXPECT_EQ(AfterMessagesOf(l.Button(), form.Hwnd()), std::vector<UINT>{6});
}

TEST(XPButtonLoadErrors, UnconvertibleStoredValueEndsAtItsProperty) {
    ChangeLog log;
    TestForm form;
    host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    bag.Set(L"ForeColor", std::wstring(L"red"));
    bag.Set(L"Font", host::FontObject::Create(host::FontDesc{L"Tahoma"}));
    auto b = AddLogged(form, L"XPButton21", &bag, &log);
    ASSERT_TRUE(b.LoadStatus.has_value());
    EXPECT_EQ(b.LoadStatus->Number(), host::ErrorNumber::TypeMismatch);
    EXPECT_EQ(log.Names, (Names{L"Caption"}));
    auto& button = b.Button();
    EXPECT_EQ(button.Caption(), L"分离");          // done before the failing step
    EXPECT_EQ(button.Font()->Name(), L"Verdana");  // never reached
    EXPECT_FALSE(button.Enabled());
    EXPECT_TRUE(button.GetFlags().NoRedraw);
    EXPECT_EQ(HookedRecordCount(button), 0);
    EXPECT_EQ(b.Site->LastError()->Number(), host::ErrorNumber::TypeMismatch);
}

TEST(XPButtonLoadErrors, StoredValuesOutOfRangeOrOfTheWrongKind) {
    const struct {
        const wchar_t* Key;
        host::Value Value;
        host::ErrorNumber Error;
        size_t Notified;  // properties assigned before the failing one
    } cases[] = {
        {L"ForeColor", 1e10, host::ErrorNumber::Overflow, 1},
        {L"Font", std::wstring(L"Verdana"), host::ErrorNumber::TypeMismatch, 2},
        {L"FocusRect", std::wstring(L"maybe"), host::ErrorNumber::TypeMismatch, 3},
        {L"Enabled", std::wstring(L""), host::ErrorNumber::TypeMismatch, 4},
    };
    for (const auto& c : cases) {
        TestForm form;
        ChangeLog log;
        host::PropertyBag bag = testing_support::ButtonBag(L"分离");
        bag.Set(c.Key, c.Value);
        auto b = AddLogged(form, L"XPButton21", &bag, &log);
        ASSERT_TRUE(b.LoadStatus.has_value()) << testing::PrintToString(std::wstring(c.Key));
        EXPECT_EQ(b.LoadStatus->Number(), c.Error) << testing::PrintToString(std::wstring(c.Key));
        EXPECT_EQ(log.Names.size(), c.Notified) << testing::PrintToString(std::wstring(c.Key));
    }
}

}  // namespace
}  // namespace dorvane::test
