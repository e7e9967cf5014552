// XPButton2's properties through the container's property bag: saved by WriteProperties
// (defaults left out), read back by ReadProperties into a new button, also through the
// form's stored-design text.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/design_format.h"
#include "tests/win/xpbutton/model_support.h"

namespace dorvane::test {
namespace {

using testing_support::TestForm;
using xpbutton::STATE_DISABLED;
using xpbutton::STATE_NORMAL;

std::vector<std::wstring> Keys(const host::PropertyBag& bag) {
    std::vector<std::wstring> keys;
    for (const auto& e : bag.Entries()) keys.push_back(e.first);
    std::sort(keys.begin(), keys.end());
    return keys;
}

TEST(XPButtonPersistence, AllDefaultControlStoresOnlyItsFontAndExtents) {
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    ASSERT_EQ(b.Button().Caption(), L"&OK");
    host::PropertyBag bag;
    ASSERT_FALSE(b.Site->Save(bag).has_value());
    EXPECT_EQ(Keys(bag), (std::vector<std::wstring>{L"_extentx", L"_extenty", L"font"}));
    const host::FontRef font = host::ToFont(bag.ReadProperty(L"Font", std::wstring(L"Verdana")));
    EXPECT_EQ(font->Desc(), host::FontDesc{});
    // 82 x 27 pixels at 96 dpi, in 0.01 mm.
    EXPECT_EQ(host::ToInt32(bag.ReadProperty(L"_ExtentX", 0)), 2170);
    EXPECT_EQ(host::ToInt32(bag.ReadProperty(L"_ExtentY", 0)), 714);
}

TEST(XPButtonPersistence, SavingChangesNoFieldAndDrawsNothing) {
    ChangeLog log;
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, &log);
    log.Clear();
    Mark(*b.Site);
    host::PropertyBag bag;
    ASSERT_FALSE(b.Site->Save(bag).has_value());
    ASSERT_FALSE(b.Site->Save(bag).has_value());
    EXPECT_FALSE(Redrawn(*b.Site));
    EXPECT_TRUE(log.Names.empty());
    EXPECT_EQ(b.Button().GetFlags().State, STATE_NORMAL);
}

TEST(XPButtonPersistence, EveryPropertySurvivesARoundTrip) {
    TestForm form;
    auto a = AddLogged(form, L"XPButton21", nullptr, nullptr);
    auto& first = a.Button();
    // CJK, and U+20000 as a surrogate pair.
    const std::wstring caption = L"分离 &D \U00020000 \"q\"";
    first.SetCaption(caption);
    first.SetForeColor(0x123456);
    first.SetFocusRect(false);
    host::FontDesc desc{L"Tahoma", 10.5, 700, true, true, true, true, 134};
    host::FontRef font = host::FontObject::Create(desc);
    first.SetFont(font);
    first.SetEnabled(false);

    host::PropertyBag bag;
    ASSERT_FALSE(a.Site->Save(bag).has_value());
    EXPECT_EQ(Keys(bag), (std::vector<std::wstring>{L"_extentx", L"_extenty", L"caption", L"enabled", L"focusrect",
                                                    L"font", L"forecolor"}));
    font->SetSize(30);  // the bag keeps what was saved

    ChangeLog log;
    auto b = AddLogged(form, L"XPButton22", &bag, &log);
    ASSERT_FALSE(b.LoadStatus.has_value());
    auto& second = b.Button();
    EXPECT_EQ(second.Caption(), caption);
    EXPECT_EQ(second.ForeColor(), 0x123456);
    EXPECT_FALSE(second.FocusRect());
    EXPECT_FALSE(second.Enabled());
    ASSERT_TRUE(second.Font());
    EXPECT_EQ(second.Font()->Desc(), desc);
    EXPECT_NE(second.Font(), font);
    EXPECT_EQ(b.Site->AccessKeys(), L"d");
    wchar_t text[64] = {};
    ::GetWindowTextW(b.Site->Hwnd(), text, 64);
    EXPECT_EQ(std::wstring(text), L"分离 D \U00020000 \"q\"");
    EXPECT_EQ(second.GetFlags().State, STATE_DISABLED);
    EXPECT_FALSE(::IsWindowEnabled(b.Site->Hwnd()));

    // The same through the stored-design text.
    host::DesignNode root{L"Form", L"Form1", {}, {}};
    root.Children.push_back(host::DesignNode{L"XPButton2", L"XPButton22", bag, {}});
    const host::DesignNode parsed = host::ParseDesign(host::WriteDesign(root));
    const host::DesignNode* node = parsed.FindChild(L"XPButton22");
    ASSERT_NE(node, nullptr);
    auto c = AddLogged(form, L"XPButton23", &node->Properties, nullptr);
    ASSERT_FALSE(c.LoadStatus.has_value());
    EXPECT_EQ(c.Button().Caption(), caption);
    EXPECT_EQ(c.Button().ForeColor(), 0x123456);
    EXPECT_FALSE(c.Button().FocusRect());
    EXPECT_FALSE(c.Button().Enabled());
    EXPECT_EQ(c.Button().Font()->Desc(), desc);
}

TEST(XPButtonPersistence, ContainerMaySaveFromInsidePropertyChanged) {
    // A design tool reads the properties back as soon as it hears of a change.
    TestForm form;
    host::ControlSite* site = nullptr;
    std::vector<std::wstring> savedCaptions;
    host::SiteSettings settings;
    settings.Name = L"XPButton21";
    settings.Bounds = kBounds;
    settings.OnPropertyChanged = [&](const std::wstring& name) {
        host::PropertyBag bag;
        ASSERT_FALSE(site->Save(bag).has_value()) << testing::PrintToString(name);
        savedCaptions.push_back(host::ToText(bag.ReadProperty(L"Caption", std::wstring(L"&OK"))));
    };
    site = &form.Container().AddControl(std::make_unique<xpbutton::XPButton2>(), std::move(settings));
    const host::PropertyBag saved = testing_support::ButtonBag(L"分离");
    ASSERT_FALSE(site->Load(&saved).has_value());
    ASSERT_EQ(savedCaptions.size(), 5u);  // Caption, ForeColor, Font, FocusRect, Enabled
    EXPECT_EQ(savedCaptions.front(), L"分离");
    savedCaptions.clear();
    site->ControlAs<xpbutton::XPButton2>().SetCaption(L"&Detach");
    EXPECT_EQ(savedCaptions, std::vector<std::wstring>{L"&Detach"});
}

TEST(XPButtonPersistence, EmptyBagGivesTheDefaults) {
    TestForm form;
    const host::PropertyBag empty;
    auto b = AddLogged(form, L"XPButton21", &empty, nullptr);
    ASSERT_FALSE(b.LoadStatus.has_value());
    auto& button = b.Button();
    EXPECT_EQ(button.Caption(), L"&OK");
    EXPECT_EQ(b.Site->AccessKeys(), L"o");
    EXPECT_EQ(button.ForeColor(), 0);
    EXPECT_EQ(button.Font()->Desc(), host::FontDesc{});
    EXPECT_TRUE(button.FocusRect());
    EXPECT_TRUE(button.Enabled());
    EXPECT_FALSE(button.GetFlags().NoRedraw);
    EXPECT_EQ(button.GetFlags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_NORMAL));
}

TEST(XPButtonPersistence, KeysAreFoundWithoutRegardToCase) {
    TestForm form;
    const host::DesignNode root = host::ParseDesign(
        "Begin Form Form1\n"
        "  Begin XPButton2 XPButton21\n"
        "    caption = \"&Detach\"\n"
        "    FORECOLOR = &H0000FF&\n"
        "    eNaBlEd = False\n"
        "    FONT = Font(\"Verdana\", 8.25, 400, True, False, False, False, 0)\n"
        "  End\n"
        "End\n");
    const host::DesignNode* node = root.FindChild(L"xpbutton21");
    ASSERT_NE(node, nullptr);
    auto b = AddLogged(form, L"XPButton21", &node->Properties, nullptr);
    ASSERT_FALSE(b.LoadStatus.has_value());
    EXPECT_EQ(b.Button().Caption(), L"&Detach");
    EXPECT_EQ(b.Button().ForeColor(), 0x0000FF);
    EXPECT_FALSE(b.Button().Enabled());
    // Bold True with weight 400 stored: bold, and drawn bold.
    EXPECT_TRUE(b.Button().Font()->Bold());
    LOGFONTW drawn{};
    ::GetObjectW(::GetCurrentObject(b.Site->PictureDc(), OBJ_FONT), sizeof(drawn), &drawn);
    EXPECT_EQ(drawn.lfWeight, FW_BOLD);

    // Keys of any script, with the system's lower case.
    host::PropertyBag bag;
    bag.Set(L"ÄÖ_ЖЯ_ΣΩ", int32_t{1});
    EXPECT_TRUE(bag.Contains(L"äö_жя_σω"));
}

TEST(XPButtonPersistence, StoredTextValuesAreConverted) {
    TestForm form;
    host::PropertyBag bag;
    bag.Set(L"Caption", int32_t{42});  // a number read as text
    bag.Set(L"ForeColor", std::wstring(L"&HFF00&"));
    bag.Set(L"FocusRect", std::wstring(L"False"));
    bag.Set(L"Enabled", int16_t{-1});
    auto b = AddLogged(form, L"XPButton21", &bag, nullptr);
    ASSERT_FALSE(b.LoadStatus.has_value());
    EXPECT_EQ(b.Button().Caption(), L"42");
    EXPECT_EQ(b.Button().ForeColor(), 0xFF00);
    EXPECT_FALSE(b.Button().FocusRect());
    EXPECT_TRUE(b.Button().Enabled());
}

}  // namespace
}  // namespace dorvane::test
