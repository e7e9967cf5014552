// The control container on a real form: lifecycle delivery and its order, errors as the
// notification's status, the surface's services, access keys, Tab and the message pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "host/form_container.h"
#include "win32/win_handles.h"
#include "tests/win/common/test_form.h"

namespace dorvane::test {
namespace {

using testing_support::Pump;
using testing_support::PumpUntil;
using testing_support::TestForm;

using Names = std::vector<std::wstring>;

// A user control that writes down every notification it gets.
class Probe : public host::UserControl {
public:
    explicit Probe(Names& log, std::wstring failIn = {}) : log_(log), failIn_(std::move(failIn)) {}
    std::wstring TypeName() const override { return L"DorvaneProbe"; }
    std::wstring AccessibleName() const override { return Caption; }

    void Initialize() override { Note(L"Initialize"); }
    void InitProperties() override {
        Note(L"InitProperties");
        SetAccessKeys(L"p");
    }
    void ReadProperties(host::PropertyBag& bag) override {
        Note(L"ReadProperties");
        Caption = host::ToText(bag.ReadProperty(L"Caption", std::wstring()));
    }
    void WriteProperties(host::PropertyBag& bag) override {
        Note(L"WriteProperties");
        bag.WriteProperty(L"Caption", Caption, std::wstring());
    }
    void AmbientChanged(const std::wstring& name) override { Note(L"AmbientChanged " + name); }
    void Terminate() override { Note(L"Terminate"); }
    void Resize() override { Note(L"Resize"); }
    void GotFocus() override { Note(L"GotFocus"); }
    void LostFocus() override { Note(L"LostFocus"); }
    void AccessKeyPress(int16_t& key) override {
        Note(L"AccessKeyPress " + std::wstring(1, static_cast<wchar_t>(key)));
    }
    void MouseDown(int16_t& button, int16_t&, float& x, float& y) override {
        Note(L"MouseDown " + std::to_wstring(button) + L" " + std::to_wstring(static_cast<int>(x)) + L"," +
             std::to_wstring(static_cast<int>(y)));
    }

    // Surface services, for the tests.
    using UserControl::AmbientDisplayAsDefault;
    using UserControl::AmbientUserMode;
    using UserControl::ExtenderName;
    using UserControl::Height;
    using UserControl::Parent;
    using UserControl::PropertyChanged;
    using UserControl::ScaleX;
    using UserControl::SetAccessKeys;
    using UserControl::SetHeight;
    using UserControl::SetWidth;
    using UserControl::Width;

    std::wstring Caption;

private:
    void Note(const std::wstring& what) {
        log_.push_back(what);
        if (!failIn_.empty() && what.rfind(failIn_, 0) == 0)
            throw host::Error(host::ErrorNumber::InvalidProcedureCall, L"probe failed in " + failIn_);
    }
    Names& log_;
    std::wstring failIn_;
};

host::ControlSite& AddProbe(TestForm& form, const std::wstring& name, Names& log, RECT bounds = {10, 10, 90, 40},
                            std::wstring failIn = {}) {
    host::SiteSettings s;
    s.Name = name;
    s.Bounds = bounds;
    return form.Container().AddControl(std::make_unique<Probe>(log, std::move(failIn)), std::move(s));
}

// A plain text field on the form, destroyed with its owner.
win32::UniqueWindow AddEdit(const TestForm& form, int x, int y, int width) {
    return win32::UniqueWindow(::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, width, 24,
                                                form.Hwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr));
}

TestForm& Activated(TestForm& form) {
    form.Activate();
    return form;
}

// Two probes added to an active form, one above the other, and loaded. The logs outlive
// the form, whose close-down terminates the probes.
class TwoProbes : public testing::Test {
protected:
    Names log1_, log2_;
    TestForm form_;
    host::ControlSite& first_ = AddProbe(Activated(form_), L"Probe1", log1_);
    host::ControlSite& second_ = AddProbe(form_, L"Probe2", log2_, {10, 50, 90, 80});

    void SetUp() override {
        ASSERT_FALSE(first_.Load(nullptr).has_value());
        ASSERT_FALSE(second_.Load(nullptr).has_value());
    }
};

TEST(HostContainer, LoadDeliversInTheContainersOrder) {
    Names log;
    TestForm form;
    host::ControlSite& fresh = AddProbe(form, L"Probe1", log);
    ASSERT_FALSE(fresh.Load(nullptr).has_value());
    EXPECT_EQ(log, (Names{L"Initialize", L"InitProperties", L"Resize"}));
    EXPECT_THROW(fresh.Load(nullptr), host::Error);  // once only

    log.clear();
    host::PropertyBag bag;
    bag.Set(L"caption", std::wstring(L"Saved"));
    host::ControlSite& saved = AddProbe(form, L"Probe2", log, {10, 50, 90, 80});
    ASSERT_FALSE(saved.Load(&bag).has_value());
    EXPECT_EQ(log, (Names{L"Initialize", L"ReadProperties", L"Resize"}));
    wchar_t text[64] = {};
    ::GetWindowTextW(saved.Hwnd(), text, 64);
    EXPECT_STREQ(text, L"Saved");

    log.clear();
    saved.Terminate();
    saved.Terminate();
    EXPECT_EQ(log, (Names{L"Terminate"}));
}

TEST(HostContainer, FailingNotificationEndsTheLoadWithItsError) {
    Names log, log2, log3;  // outlive the form, whose close-down terminates the probes
    TestForm form;
    host::ControlSite& site = AddProbe(form, L"Probe1", log, {10, 10, 90, 40}, L"Initialize");
    host::Status s = site.Load(nullptr);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->Number(), host::ErrorNumber::InvalidProcedureCall);
    EXPECT_EQ(s->Description(), L"probe failed in Initialize");
    EXPECT_EQ(log, (Names{L"Initialize"}));

    host::ControlSite& other = AddProbe(form, L"Probe2", log2, {10, 50, 90, 80}, L"ReadProperties");
    host::PropertyBag bag;
    s = other.Load(&bag);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(log2, (Names{L"Initialize", L"ReadProperties"}));  // no Resize after a failed read

    // Terminate swallows its error.
    host::ControlSite& quiet = AddProbe(form, L"Probe3", log3, {10, 90, 90, 120}, L"Terminate");
    ASSERT_FALSE(quiet.Load(nullptr).has_value());
    EXPECT_NO_THROW(quiet.Terminate());

    // No control to site is the caller's error, raised as one.
    EXPECT_THROW(host::ControlSite::Create(nullptr, host::SiteSettings{}), host::Error);
}

TEST(HostContainer, SaveWritesTheControlAndItsExtents) {
    Names log;
    TestForm form;
    host::ControlSite& site = AddProbe(form, L"Probe1", log, {0, 0, 96, 48});
    ASSERT_FALSE(site.Load(nullptr).has_value());
    site.ControlAs<Probe>().Caption = L"x";
    host::PropertyBag bag;
    ASSERT_FALSE(site.Save(bag).has_value());
    EXPECT_EQ(host::ToText(bag.ReadProperty(L"CAPTION", std::wstring())), L"x");
    EXPECT_EQ(host::ToInt32(bag.ReadProperty(L"_extentx", 0)), 2540);  // one inch
    EXPECT_EQ(host::ToInt32(bag.ReadProperty(L"_extenty", 0)), 1270);
}

TEST(HostContainer, SurfaceServices) {
    Names log;
    TestForm form;
    host::ControlSite& site = AddProbe(form, L"Probe1", log, {0, 0, 96, 48});
    ASSERT_FALSE(site.Load(nullptr).has_value());
    Probe& probe = site.ControlAs<Probe>();
    EXPECT_EQ(probe.Width(), 1440);
    EXPECT_EQ(probe.Height(), 720);
    EXPECT_DOUBLE_EQ(probe.ScaleX(1440, host::vbTwips, host::vbPixels), 96.0);
    EXPECT_DOUBLE_EQ(probe.ScaleX(96, host::vbPixels, host::vbInches), 1.0);
    EXPECT_THROW(probe.ScaleX(1, 42, host::vbPixels), host::Error);
    log.clear();
    probe.SetWidth(2160);
    EXPECT_DOUBLE_EQ(site.ScaleWidth(), 144.0);
    EXPECT_EQ(log, (Names{L"Resize"}));
    EXPECT_THROW(probe.SetHeight(-1), host::Error);

    EXPECT_TRUE(probe.AmbientUserMode());
    EXPECT_FALSE(probe.AmbientDisplayAsDefault());
    EXPECT_EQ(probe.ExtenderName(), L"Probe1");
    EXPECT_EQ(probe.Parent().hwnd(), form.Hwnd());
    EXPECT_FALSE(probe.Parent().MDIChild());
    ASSERT_EQ(probe.Parent().Controls().size(), 1u);
    EXPECT_EQ(probe.Parent().Controls()[0], &probe);

    log.clear();
    ASSERT_FALSE(site.SetDisplayAsDefault(true).has_value());
    EXPECT_TRUE(probe.AmbientDisplayAsDefault());
    EXPECT_EQ(log, (Names{L"AmbientChanged DisplayAsDefault"}));

    EXPECT_EQ(form.Container().FindSite(L"PROBE1"), &site);
    EXPECT_EQ(form.Container().FindSite(L"Probe9"), nullptr);
}

TEST(HostContainer, MdiChildComesFromTheForm) {
    TestForm form(400, 300, true);
    EXPECT_TRUE(form.Container().MDIChild());
}

TEST(HostContainer, PressGivesFocusThenTheMouseDown) {
    Names log;
    TestForm form;
    form.Activate();
    host::ControlSite& site = AddProbe(form, L"Probe1", log);
    ASSERT_FALSE(site.Load(nullptr).has_value());
    log.clear();
    ::SendMessageW(site.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 7));
    EXPECT_EQ(log, (Names{L"GotFocus", L"MouseDown 1 5,7"}));
    EXPECT_EQ(::GetCapture(), site.Hwnd());
    ::SendMessageW(site.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 7));
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(TwoProbes, AccessKeyMovesFocusAndIsDelivered) {
    second_.ControlAs<Probe>().SetAccessKeys(L"q");
    ::SetFocus(first_.Hwnd());
    Pump();
    log2_.clear();

    // Alt+Q through the thread's message pass.
    ::PostMessageW(first_.Hwnd(), WM_SYSCHAR, L'Q', 1 << 29);
    host::DoEvents();
    EXPECT_EQ(::GetFocus(), second_.Hwnd());
    EXPECT_EQ(log2_, (Names{L"GotFocus", L"AccessKeyPress Q"}));

    // A plain key counts too while a user control has the focus; a disabled control is
    // passed over.
    auto presses = [](const Names& log) {
        return std::count_if(log.begin(), log.end(),
                             [](const std::wstring& e) { return e.rfind(L"AccessKeyPress", 0) == 0; });
    };
    ::SetFocus(first_.Hwnd());
    Pump();
    log2_.clear();
    ::PostMessageW(first_.Hwnd(), WM_CHAR, L'q', 1);
    host::DoEvents();
    EXPECT_EQ(::GetFocus(), second_.Hwnd());
    EXPECT_EQ(presses(log2_), 1);

    ::SetFocus(first_.Hwnd());
    Pump();
    ::EnableWindow(second_.Hwnd(), FALSE);
    log2_.clear();
    ::PostMessageW(first_.Hwnd(), WM_SYSCHAR, L'q', 1 << 29);
    host::DoEvents();
    EXPECT_EQ(presses(log2_), 0);
    EXPECT_EQ(::GetFocus(), first_.Hwnd());
}

TEST(HostContainer, PlainKeyInATextFieldIsTypingAndHiddenControlsAreSkipped) {
    Names log;
    TestForm form;
    form.Activate();
    host::ControlSite& site = AddProbe(form, L"Probe1", log);
    ASSERT_FALSE(site.Load(nullptr).has_value());
    site.ControlAs<Probe>().SetAccessKeys(L"q");
    const win32::UniqueWindow editWindow = AddEdit(form, 10, 100, 120);
    const HWND edit = editWindow.get();
    ASSERT_NE(edit, nullptr);
    auto presses = [&] {
        return std::count_if(log.begin(), log.end(),
                             [](const std::wstring& e) { return e.rfind(L"AccessKeyPress", 0) == 0; });
    };
    ::SetFocus(edit);
    Pump();
    ::PostMessageW(edit, WM_CHAR, L'q', 1);
    host::DoEvents();
    EXPECT_EQ(presses(), 0);
    wchar_t text[16] = {};
    ::GetWindowTextW(edit, text, 16);
    EXPECT_STREQ(text, L"q");

    // Alt+Q from the text field reaches the control...
    ::PostMessageW(edit, WM_SYSCHAR, L'q', 1 << 29);
    host::DoEvents();
    EXPECT_EQ(presses(), 1);
    EXPECT_EQ(::GetFocus(), site.Hwnd());
    // ...but not once it is hidden.
    ::SetFocus(edit);
    ::ShowWindow(site.Hwnd(), SW_HIDE);
    Pump();
    ::PostMessageW(edit, WM_SYSCHAR, L'q', 1 << 29);
    host::DoEvents();
    EXPECT_EQ(presses(), 1);
}

TEST(HostContainer, AccessKeysMatchWithoutRegardToCaseBeyondAscii) {
    Names log;
    TestForm form;
    form.Activate();
    host::ControlSite& site = AddProbe(form, L"Probe1", log);
    ASSERT_FALSE(site.Load(nullptr).has_value());
    for (const auto& [keys, typed] : {std::pair{L"ж", L'Ж'}, std::pair{L"ä", L'Ä'}, std::pair{L"Q", L'q'}}) {
        site.ControlAs<Probe>().SetAccessKeys(keys);
        EXPECT_TRUE(site.WantsAccessKey(typed)) << testing::PrintToString(std::wstring(keys));
    }
    site.ControlAs<Probe>().SetAccessKeys(L"ж");
    EXPECT_FALSE(site.WantsAccessKey(L'з'));
    ::SetFocus(site.Hwnd());
    Pump();
    log.clear();
    ::PostMessageW(site.Hwnd(), WM_SYSCHAR, L'Ж', 1 << 29);
    host::DoEvents();
    EXPECT_EQ(log, (Names{L"AccessKeyPress Ж"}));
}

TEST_F(TwoProbes, SendKeysTabMovesTheFocus) {
    ::SetFocus(first_.Hwnd());
    Pump();
    ASSERT_EQ(::GetFocus(), first_.Hwnd());
    host::SendKeys(L"{TAB}");
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == second_.Hwnd(); }, std::chrono::seconds(3)));
    host::SendKeys(L"+{TAB}");
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == first_.Hwnd(); }, std::chrono::seconds(3)));
    Pump();
    EXPECT_GE(::GetKeyState(VK_SHIFT), 0) << "Shift is released after its key";
    EXPECT_THROW(host::SendKeys(L"{NOSUCHKEY}"), host::Error);
    EXPECT_THROW(host::SendKeys(L"{TAB"), host::Error);
}

TEST(HostContainer, SendKeysTypesPlainCharacters) {
    TestForm form;
    form.Activate();
    const win32::UniqueWindow editWindow = AddEdit(form, 10, 10, 200);
    const HWND edit = editWindow.get();
    ASSERT_NE(edit, nullptr);
    ::SetFocus(edit);
    Pump();
    host::SendKeys(L"sa分离");
    wchar_t text[32] = {};
    EXPECT_TRUE(PumpUntil(
        [&] {
            ::GetWindowTextW(edit, text, 32);
            return std::wstring(text) == L"sa分离";
        },
        std::chrono::seconds(3)))
        << testing::PrintToString(std::wstring(text));
}

TEST(HostContainer, DoEventsLeavesTheQuitRequestForTheRealLoop) {
    TestForm form;
    ::PostQuitMessage(3);
    host::DoEvents();
    MSG m{};
    ASSERT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 3u);
}

TEST(HostContainer, DoEventsDispatchesWhatIsWaiting) {
    Names log;
    TestForm form;
    host::ControlSite& site = AddProbe(form, L"Probe1", log);
    ASSERT_FALSE(site.Load(nullptr).has_value());
    log.clear();
    ::PostMessageW(site.Hwnd(), WM_SETFOCUS, 0, 0);
    ::PostMessageW(site.Hwnd(), WM_KILLFOCUS, 0, 0);
    host::DoEvents();
    EXPECT_EQ(log, (Names{L"GotFocus", L"LostFocus"}));
    MSG m;
    EXPECT_FALSE(::PeekMessageW(&m, site.Hwnd(), 0, 0, PM_NOREMOVE));

    // While the form holds its input off, the click queued for the control is dropped and
    // the rest still dispatched: DoEvents inside a wait runs no press.
    log.clear();
    {
        host::InputHold hold(form.Hwnd());
        ::PostMessageW(site.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(site.Hwnd(), WM_SETFOCUS, 0, 0);
        host::DoEvents();
    }
    EXPECT_EQ(log, (Names{L"GotFocus"}));
    EXPECT_FALSE(::PeekMessageW(&m, site.Hwnd(), 0, 0, PM_NOREMOVE));
}

TEST_F(TwoProbes, TerminateAllEndsEveryControlAndItsWindow) {
    const HWND w1 = first_.Hwnd(), w2 = second_.Hwnd();
    form_.Container().TerminateAll();
    EXPECT_EQ(log1_.back(), L"Terminate");
    EXPECT_EQ(log2_.back(), L"Terminate");
    EXPECT_FALSE(::IsWindow(w1));
    EXPECT_FALSE(::IsWindow(w2));
}

}  // namespace
}  // namespace dorvane::test
