// The public properties of XPButton2 on a live button: each assignment notifies the
// container, repaints by its own rule and carries its value to the surface.
#include <gtest/gtest.h>

#include <chrono>

#include "win32/window_class.h"
#include "tests/win/xpbutton/model_support.h"

namespace dorvane::test {
namespace {

using testing_support::Pump;
using testing_support::PumpUntil;
using testing_support::TestForm;
using xpbutton::STATE_DISABLED;
using xpbutton::STATE_FOCUSED;
using xpbutton::STATE_HOT;
using xpbutton::STATE_NORMAL;

using Names = std::vector<std::wstring>;

using win32::WindowText;

TEST(XPButtonProperties, EveryAssignmentNotifiesEvenWithoutChange) {
    ChangeLog log;
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, &log);
    ASSERT_FALSE(b.LoadStatus.has_value());
    // InitProperties goes through the setters.
    EXPECT_EQ(log.Names, (Names{L"Caption", L"ForeColor", L"Enabled", L"FocusRect"}));

    auto& button = b.Button();
    log.Clear();
    button.SetCaption(button.Caption());
    button.SetEnabled(button.Enabled());
    button.SetForeColor(button.ForeColor());
    button.SetFocusRect(button.FocusRect());
    button.SetFont(button.Font());
    EXPECT_EQ(log.Names, (Names{L"Caption", L"Enabled", L"ForeColor", L"FocusRect", L"Font"}));
}

TEST(XPButtonProperties, ReadPropertiesNotifiesEveryStoredProperty) {
    ChangeLog log;
    TestForm form;
    const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
    auto b = AddLogged(form, L"XPButton21", &bag, &log);
    ASSERT_FALSE(b.LoadStatus.has_value());
    EXPECT_EQ(log.Names, (Names{L"Caption", L"ForeColor", L"Font", L"FocusRect", L"Enabled"}));
}

TEST(XPButtonProperties, CaptionSetsAccessKeysWindowTextAndRepaints) {
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    auto& button = b.Button();
    EXPECT_EQ(b.Site->AccessKeys(), L"o");
    EXPECT_EQ(WindowText(b.Site->Hwnd()), L"OK");

    Mark(*b.Site);
    button.SetCaption(L"&Detach && go");
    EXPECT_TRUE(Redrawn(*b.Site));
    EXPECT_EQ(b.Site->AccessKeys(), L"d");
    EXPECT_EQ(WindowText(b.Site->Hwnd()), L"Detach & go");

    button.SetCaption(L"打开数据库文件");
    EXPECT_EQ(b.Site->AccessKeys(), L"");  // emptied, not left at the old key
    EXPECT_EQ(WindowText(b.Site->Hwnd()), L"打开数据库文件");

    button.SetCaption(L"E&xit");
    EXPECT_EQ(b.Site->AccessKeys(), L"x");
    EXPECT_EQ(WindowText(b.Site->Hwnd()), L"Exit");
}

TEST(XPButtonProperties, AccessKeyOfCaption) {
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    auto& button = b.Button();
    const struct {
        const wchar_t* Caption;
        const wchar_t* Key;
    } cases[] = {
        {L"&OK", L"o"},    {L"&Cancel", L"c"}, {L"E&xit", L"x"}, {L"&Q", L"q"},       {L"&z", L"z"},
        {L"a&&b", L""},    {L"a&&b&c", L"c"},  {L"&&&x", L"x"},  {L"abc&", L""},      {L"&&", L""},
        {L"&", L""},       {L"", L""},         {L"no key", L""}, {L"&1 first", L"1"}, {L"分离(&D)", L"d"},
        {L"&分离", L"分"}, {L"a&b&c", L"b"},   {L"&&&&", L""},   {L"&Ä", L"ä"},       {L"&Жар", L"ж"},
    };
    for (const auto& c : cases) {
        button.SetCaption(c.Caption);
        EXPECT_EQ(button.ParseAccessKey(), c.Key) << "caption '" << testing::PrintToString(std::wstring(c.Caption));
        EXPECT_EQ(b.Site->AccessKeys(), c.Key) << "caption '" << testing::PrintToString(std::wstring(c.Caption));
    }
}

TEST(XPButtonProperties, ForeColorReachesTheSurfaceAndRepaints) {
    ChangeLog log;
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, &log);
    auto& button = b.Button();
    log.Clear();
    Mark(*b.Site);
    button.SetForeColor(0x0000FF);
    EXPECT_TRUE(Redrawn(*b.Site));
    EXPECT_EQ(button.ForeColor(), 0x0000FF);
    EXPECT_EQ(b.Site->ForeColor(), 0x0000FFu);
    EXPECT_EQ(::GetTextColor(b.Site->PictureDc()), 0x0000FFu);
    EXPECT_EQ(log.Names, (Names{L"ForeColor"}));

    // A system-colour reference is kept as given and drawn in the system's colour.
    const int32_t buttonText = static_cast<int32_t>(0x80000000u | COLOR_BTNTEXT);
    button.SetForeColor(buttonText);
    EXPECT_EQ(button.ForeColor(), buttonText);
    EXPECT_EQ(::GetTextColor(b.Site->PictureDc()), ::GetSysColor(COLOR_BTNTEXT));
}

TEST(XPButtonProperties, FocusRectRepaintsOnlyWhileFocused) {
    ChangeLog log;
    TestForm form;
    form.Activate();
    auto b = AddLogged(form, L"XPButton21", nullptr, &log);
    auto& button = b.Button();
    log.Clear();

    ASSERT_FALSE(button.GetFlags().Focused);
    Mark(*b.Site);
    button.SetFocusRect(false);
    EXPECT_FALSE(Redrawn(*b.Site));
    EXPECT_FALSE(button.FocusRect());
    EXPECT_EQ(log.Names, (Names{L"FocusRect"}));

    ::SetFocus(b.Site->Hwnd());
    ASSERT_TRUE(PumpUntil([&] { return button.GetFlags().Focused; }));
    EXPECT_EQ(button.GetFlags().State, STATE_FOCUSED);

    // The left column of the focus rectangle, drawn or not.
    const int h = static_cast<int>(b.Site->ScaleHeight());
    auto column = [&] {
        std::vector<COLORREF> px;
        for (int y = 4; y < h - 4; ++y) px.push_back(testing_support::PicturePixel(*b.Site, 3, y));
        return px;
    };
    const auto withoutRect = column();
    Mark(*b.Site);
    button.SetFocusRect(true);
    EXPECT_TRUE(Redrawn(*b.Site));
    EXPECT_NE(column(), withoutRect);
    EXPECT_EQ(log.Names, (Names{L"FocusRect", L"FocusRect"}));
}

TEST(XPButtonProperties, EnabledDrawsNormalOrDisabledOnlyOnChange) {
    ChangeLog log;
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, &log);
    auto& button = b.Button();
    ASSERT_EQ(button.GetFlags().State, STATE_NORMAL);
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_NORMAL));
    log.Clear();

    Mark(*b.Site);
    button.SetEnabled(true);  // nothing applies and the look is already normal
    EXPECT_FALSE(Redrawn(*b.Site));
    EXPECT_EQ(log.Names, (Names{L"Enabled"}));

    button.SetEnabled(false);
    EXPECT_EQ(button.GetFlags().State, STATE_DISABLED);
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_DISABLED));
    EXPECT_FALSE(::IsWindowEnabled(b.Site->Hwnd()));

    Mark(*b.Site);
    button.SetEnabled(false);
    EXPECT_FALSE(Redrawn(*b.Site));

    button.SetEnabled(true);
    EXPECT_EQ(button.GetFlags().State, STATE_NORMAL);
    EXPECT_TRUE(::IsWindowEnabled(b.Site->Hwnd()));
    EXPECT_EQ(log.Names, (Names{L"Enabled", L"Enabled", L"Enabled", L"Enabled"}));
}

TEST(XPButtonProperties, EnabledShowsTheDefaultLook) {
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    auto& button = b.Button();
    ASSERT_FALSE(b.Site->SetDisplayAsDefault(true).has_value());
    EXPECT_EQ(button.GetFlags().State, STATE_FOCUSED);
    button.SetEnabled(false);
    EXPECT_EQ(button.GetFlags().State, STATE_DISABLED);
    button.SetEnabled(true);
    EXPECT_EQ(button.GetFlags().State, STATE_FOCUSED);
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_FOCUSED));
    // Drawn again even when the look is already the default one.
    Mark(*b.Site);
    button.SetEnabled(true);
    EXPECT_TRUE(Redrawn(*b.Site));
}

// The pointer over the button can only come from real input: move the cursor there and let
// the button hear the mouse move.
TEST(XPButtonProperties, EnabledShowsHotWhilePointerIsOver) {
    TestForm form;
    form.Activate();
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    auto& button = b.Button();
    POINT centre{41, 13};
    ::ClientToScreen(b.Site->Hwnd(), &centre);
    ::SetCursorPos(centre.x, centre.y);
    const bool over = PumpUntil([&] { return button.GetFlags().MouseOver; }, std::chrono::seconds(2));
    if (!over) {
        ParkCursor();
        GTEST_SKIP() << "the display delivered no mouse move for SetCursorPos";
    }
    button.SetEnabled(false);
    EXPECT_EQ(button.GetFlags().State, STATE_DISABLED);
    ASSERT_TRUE(button.GetFlags().MouseOver);
    button.SetEnabled(true);
    EXPECT_EQ(button.GetFlags().State, STATE_HOT);
    EXPECT_EQ(FacePixel(*b.Site), ExpectedFace(STATE_HOT));

    // The default look is not drawn over the hot one.
    Mark(*b.Site);
    ASSERT_FALSE(b.Site->SetDisplayAsDefault(true).has_value());
    EXPECT_TRUE(button.GetFlags().Default);
    EXPECT_FALSE(Redrawn(*b.Site));
    ParkCursor();
    Pump();
}

TEST(XPButtonProperties, FontObjectIsSharedAndItsChangesRepaintAndNotify) {
    ChangeLog log;
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, &log);
    auto& button = b.Button();
    host::FontRef initial = button.Font();
    ASSERT_TRUE(initial);
    EXPECT_EQ(initial->Name(), L"Verdana");
    EXPECT_DOUBLE_EQ(initial->Size(), 8.25);
    EXPECT_EQ(PictureFont(*b.Site).lfHeight, -11);  // 8.25 pt at 96 dpi
    log.Clear();

    Mark(*b.Site);
    initial->SetSize(12);
    EXPECT_TRUE(Redrawn(*b.Site));
    EXPECT_EQ(log.Names, (Names{L"Font"}));
    EXPECT_EQ(PictureFont(*b.Site).lfHeight, -16);
    initial->SetBold(true);
    EXPECT_EQ(PictureFont(*b.Site).lfWeight, 700);
    EXPECT_EQ(log.Names, (Names{L"Font", L"Font"}));

    // A new font object: shared, not copied; the old one is no longer heard.
    host::FontRef other = host::FontObject::Create(host::FontDesc{L"Tahoma", 10, 400, false, true});
    log.Clear();
    button.SetFont(other);
    EXPECT_EQ(button.Font(), other);
    EXPECT_EQ(b.Site->Font(), other);
    EXPECT_EQ(log.Names, (Names{L"Font"}));
    const LOGFONTW lf = PictureFont(*b.Site);
    EXPECT_STREQ(lf.lfFaceName, L"Tahoma");
    EXPECT_TRUE(lf.lfItalic);

    log.Clear();
    initial->SetSize(20);
    EXPECT_TRUE(log.Names.empty());
    other->SetUnderline(true);
    EXPECT_EQ(log.Names, (Names{L"Font"}));
    EXPECT_TRUE(PictureFont(*b.Site).lfUnderline);
}

TEST(XPButtonProperties, RepaintedLookReachesTheScreen) {
    TestForm form;
    form.Activate();
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    const int w = static_cast<int>(b.Site->ScaleWidth());
    ASSERT_TRUE(PumpUntil(
        [&] { return testing_support::ScreenPixel(b.Site->Hwnd(), w / 2, 1) == ExpectedFace(STATE_NORMAL); }));
    b.Button().SetEnabled(false);
    EXPECT_TRUE(PumpUntil([&] {
        return testing_support::ScreenPixel(b.Site->Hwnd(), w / 2, 1) == ExpectedFace(STATE_DISABLED);
    })) << std::hex
        << testing_support::ScreenPixel(b.Site->Hwnd(), w / 2, 1);
}

TEST(XPButtonProperties, FontChangeDeletesTheSurfacesPreviousFont) {
    // The system here reports no object counts, so the old font handle itself is checked.
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    auto& button = b.Button();
    for (int i = 0; i < 3; ++i) {
        const HGDIOBJ before = ::GetCurrentObject(b.Site->PictureDc(), OBJ_FONT);
        ASSERT_EQ(::GetObjectType(before), static_cast<DWORD>(OBJ_FONT));
        if (i == 0)
            button.Font()->SetSize(14);
        else
            button.SetFont(host::FontObject::Create(host::FontDesc{i == 1 ? L"Tahoma" : L"Verdana"}));
        const HGDIOBJ after = ::GetCurrentObject(b.Site->PictureDc(), OBJ_FONT);
        EXPECT_NE(after, before);
        EXPECT_NE(::GetObjectType(before), static_cast<DWORD>(OBJ_FONT)) << "round " << i;
    }
}

TEST(XPButtonProperties, FontCannotBeNone) {
    TestForm form;
    auto b = AddLogged(form, L"XPButton21", nullptr, nullptr);
    host::FontRef before = b.Button().Font();
    EXPECT_THROW(b.Button().SetFont(nullptr), host::Error);
    EXPECT_EQ(b.Button().Font(), before);
}

}  // namespace
}  // namespace dorvane::test
