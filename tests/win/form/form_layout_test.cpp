// Form1 built from the stored design compiled into this test: window, children, focus
// order, close-down, and its layout as Windows 7 gives it (system DPI, classic calls).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <tuple>
#include <vector>

#include "app/main_window.h"
#include "base/com_ptr.h"
#include "base/text.h"
#include "win32/dpi.h"
#include "win32/high_contrast_scheme.h"
#include "win32/win_handles.h"
#include "win32/window_class.h"
#include "tests/e2e/workflow/screen_capture.h"
#include "tests/win/common/message_counter.h"
#include "tests/win/common/test_form.h"

namespace dorvane::test {
namespace {

using testing_support::Pump;
using testing_support::PumpUntil;

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

constexpr auto& kTextOf = win32::WindowText;

RECT ChildRectInClient(HWND parent, HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::unique_ptr<app::Form1> ShowForm1() {
    auto form =
        app::Form1::Create(::GetModuleHandleW(nullptr), app::Form1::LoadDesign(::GetModuleHandleW(nullptr)), SW_SHOW);
    ::SetForegroundWindow(form->Hwnd());
    Pump(std::chrono::milliseconds(100));
    return form;
}

// The window as a person sees it, for a look (DORVANE_SHOTS folder).
void ShootWindow(HWND hwnd, const wchar_t* name) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    ::CreateDirectoryW(DORVANE_SHOTS, nullptr);
    SaveScreenRect(r, std::wstring(DORVANE_SHOTS) + L"\\" + name + L".bmp");
}

class Form1Test : public ::testing::Test {
protected:
    void SetUp() override { form_ = ShowForm1(); }
    void TearDown() override {
        form_.reset();
        Pump(std::chrono::milliseconds(20));
    }
    std::unique_ptr<app::Form1> form_;
};

// The children at 96 dpi, in pixels of the form's client area, as the design places them.
void ExpectChildrenAsDesigned(const app::Form1& form);

TEST_F(Form1Test, WindowHasItsCaptionSizeBorderAndPlace) {
    HWND w = form_->Hwnd();
    ASSERT_EQ(form_->Dpi(), 96u) << "these pixel checks assume 96 dpi";
    EXPECT_EQ(kTextOf(w), L"Dorvane");
    RECT client{};
    ::GetClientRect(w, &client);
    EXPECT_EQ(client.right, 389);
    EXPECT_EQ(client.bottom, 354);
    const LONG style = ::GetWindowLongW(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the border is fixed";
    EXPECT_TRUE(style & WS_SYSMENU);
    // Centred in the work area.
    RECT wr{};
    ::GetWindowRect(w, &wr);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(w, MONITOR_DEFAULTTOPRIMARY), &mi);
    EXPECT_NEAR((wr.left + wr.right) / 2, (mi.rcWork.left + mi.rcWork.right) / 2, 1);
    EXPECT_NEAR((wr.top + wr.bottom) / 2, (mi.rcWork.top + mi.rcWork.bottom) / 2, 1);
    EXPECT_NE(::SendMessageW(w, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_NE(::SendMessageW(w, WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(Form1Test, ChildrenMatchTheDesign) { ExpectChildrenAsDesigned(*form_); }

void ExpectChildrenAsDesigned(const app::Form1& form) {
    HWND w = form.Hwnd();
    struct Expected {
        const wchar_t* Name;
        const wchar_t* Cls;
        const wchar_t* Text;
        RECT Rect;  // right/bottom 0 for labels: sized to their text
    };
    const Expected expected[] = {
        {L"Text3", L"Edit", L"", {24, 120, 24 + 329, 120 + 25}},
        {L"Text1", L"Edit", L"", {24, 176, 24 + 329, 176 + 25}},
        {L"Text2", L"Edit", L"", {24, 232, 24 + 329, 232 + 25}},
        {L"Command2", L"XPButton2", L"打开数据库文件", {24, 280, 24 + 105, 280 + 25}},
        {L"Command3", L"XPButton2", L"分离", {152, 272, 152 + 97, 272 + 33}},
        {L"XPButton21", L"XPButton2", L"退出", {264, 280, 264 + 89, 280 + 25}},
        {L"Label3", L"Static", L"SQL数据库IP地址或机器名(本地可为空)", {24, 104, 0, 0}},
        {L"Label1", L"Static", L"主文件(MDF)信息", {24, 160, 0, 0}},
        {L"Label2", L"Static", L"Log文件信息", {24, 208, 0, 0}},
        {L"Label4", L"Static", L"选择“DataSource”文件夹内的“db_ZVQ_Data.MDF”文件", {16, 320, 0, 0}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.Name);
        HWND child = form.ChildWindow(e.Name);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(::GetParent(child), w);
        EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), e.Cls), 0) << ClassOf(child).c_str();
        EXPECT_EQ(kTextOf(child), e.Text);
        const RECT r = ChildRectInClient(w, child);
        EXPECT_EQ(r.left, e.Rect.left);
        EXPECT_EQ(r.top, e.Rect.top);
        if (e.Rect.right) {
            EXPECT_EQ(r.right, e.Rect.right);
            EXPECT_EQ(r.bottom, e.Rect.bottom);
        } else {
            // Auto-size: exactly the extent of the text in the label's font.
            const win32::WindowDc dc(child);
            const win32::SelectedObject font(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)));
            SIZE sz{};
            ::GetTextExtentPoint32W(dc.get(), e.Text, static_cast<int>(wcslen(e.Text)), &sz);
            EXPECT_EQ(r.right - r.left, sz.cx);
            EXPECT_EQ(r.bottom - r.top, sz.cy);
            EXPECT_FALSE(::GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP);
        }
    }
    // All three buttons end on one bottom line, 305 px from the top.
    for (const wchar_t* b : {L"Command2", L"Command3", L"XPButton21"})
        EXPECT_EQ(ChildRectInClient(w, form.ChildWindow(b)).bottom, 305) << b;
}

TEST_F(Form1Test, ButtonsCarryTheirStoredPropertiesAndHookTheirWindows) {
    for (const wchar_t* name : {L"Command2", L"Command3", L"XPButton21"}) {
        SCOPED_TRACE(name);
        auto& button = form_->Button(name).ControlAs<xpbutton::XPButton2>();
        const host::FontDesc& f = button.Font()->Desc();
        EXPECT_EQ(f.Name, L"Verdana");
        EXPECT_DOUBLE_EQ(f.Size, 8.25);
        EXPECT_EQ(f.Weight, 400);
        EXPECT_FALSE(f.Bold || f.Italic || f.Underline || f.Strikethrough);
        EXPECT_TRUE(button.Enabled());
        EXPECT_TRUE(button.FocusRect());
        EXPECT_EQ(button.ForeColor(), 0);
        // Its own window for the mouse leaving, the form's for activation.
        EXPECT_GE(button.Hooks().FindHook(button.Hwnd(), false), 0);
        EXPECT_GE(button.Hooks().FindHook(form_->Hwnd(), false), 0);
    }
    EXPECT_EQ(form_->Button(L"Command2").ControlAs<xpbutton::XPButton2>().Caption(), L"打开数据库文件");
    EXPECT_THROW(form_->Button(L"Command9"), host::Error);
}

TEST_F(Form1Test, ButtonsAnswerScreenReadersAsPushButtonsNamedByTheirCaption) {
    for (const auto& [name, caption] : {std::pair{L"Command2", L"打开数据库文件"}, std::pair{L"Command3", L"分离"}}) {
        SCOPED_TRACE(name);
        host::ControlSite& site = form_->Button(name);
        int clicks = 0;
        site.ControlAs<xpbutton::XPButton2>().Events.Click = [&] { ++clicks; };
        // A screen reader asks with WM_GETOBJECT; answering must never take the program
        // down (Wine has no marshaller for the object, so there the answer is an error).
        const LRESULT lres = ::SendMessageW(site.Hwnd(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
        if (lres > 0) {
            base::ComPtr<IAccessible> fromMessage;
            EXPECT_EQ(::ObjectFromLresult(lres, IID_IAccessible, 0, reinterpret_cast<void**>(fromMessage.put())), S_OK);
        }
        const base::ComPtr<IAccessible> acc(site.CreateAccessibleObject());
        ASSERT_NE(acc.get(), nullptr);
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        VARIANT role{};
        EXPECT_EQ(acc->get_accRole(self, &role), S_OK);
        EXPECT_EQ(role.vt, VT_I4);
        EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
        BSTR text = nullptr;
        EXPECT_EQ(acc->get_accName(self, &text), S_OK);
        EXPECT_EQ(std::wstring(text ? text : L""), caption);
        ::SysFreeString(text);
        VARIANT state{};
        EXPECT_EQ(acc->get_accState(self, &state), S_OK);
        EXPECT_TRUE(state.lVal & STATE_SYSTEM_FOCUSABLE);
        EXPECT_FALSE(state.lVal & STATE_SYSTEM_UNAVAILABLE);
        LONG x = 0, y = 0, w = 0, h = 0;
        EXPECT_EQ(acc->accLocation(&x, &y, &w, &h, self), S_OK);
        RECT r{};
        ::GetWindowRect(site.Hwnd(), &r);
        EXPECT_EQ(x, r.left);
        EXPECT_EQ(w, r.right - r.left);
        // Its default action presses the button, once the reader's call has returned.
        EXPECT_EQ(acc->accDoDefaultAction(self), S_OK);
        EXPECT_EQ(clicks, 0) << "the Click ran inside the reader's call";
        EXPECT_TRUE(PumpUntil([&] { return clicks == 1; }));
        EXPECT_EQ(::GetFocus(), site.Hwnd());
    }
}

TEST_F(Form1Test, FocusStartsInText1AndTabWalksTheOrder) {
    HWND w = form_->Hwnd();
    // Each field's label comes just before it in z-order, where screen readers look for
    // the field's name; the tab order below is not changed by that.
    for (const auto& [label, field] :
         {std::pair{L"Label3", L"Text3"}, std::pair{L"Label1", L"Text1"}, std::pair{L"Label2", L"Text2"}})
        EXPECT_EQ(::GetWindow(form_->ChildWindow(field), GW_HWNDPREV), form_->ChildWindow(label))
            << base::ToUtf8(label);
    ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == w; }));
    EXPECT_EQ(::GetFocus(), form_->ChildWindow(L"Text1"));
    for (const auto& t : {L"Text1", L"Text2", L"Text3"}) EXPECT_EQ(kTextOf(form_->ChildWindow(t)), L"");
    const wchar_t* order[] = {L"Text2", L"Text3", L"Command3", L"Command2", L"XPButton21", L"Text1"};
    for (const wchar_t* next : order) {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[1].ki.wVk = VK_TAB;
        in[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(2, in, sizeof(INPUT));
        HWND expected = form_->ChildWindow(next);
        EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == expected; }))
            << "Tab did not reach " << testing::PrintToString(std::wstring(next));
    }
}

TEST_F(Form1Test, EveryButtonHearsTheFormsActivationAndDeactivation) {
    HWND w = form_->Hwnd();
    std::vector<std::vector<int32_t>> states(3);
    const wchar_t* names[] = {L"Command2", L"Command3", L"XPButton21"};
    for (int i = 0; i < 3; ++i)
        form_->Button(names[i]).ControlAs<xpbutton::XPButton2>().Events.FormActivate = [&states, i](int32_t& State) {
            states[static_cast<size_t>(i)].push_back(State);
        };
    // Another real window takes the activation, then the form gets it back.
    const win32::UniqueWindow otherWindow(::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                                           0, 200, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                                           nullptr));
    const HWND other = otherWindow.get();
    ::SetForegroundWindow(other);
    ::SetActiveWindow(other);
    ASSERT_TRUE(PumpUntil([&] { return ::GetActiveWindow() == other; }));
    ::SetForegroundWindow(w);
    ::SetActiveWindow(w);
    ASSERT_TRUE(PumpUntil([&] { return ::GetActiveWindow() == w; }));
    Pump(std::chrono::milliseconds(30));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(states[static_cast<size_t>(i)], (std::vector<int32_t>{0, 1}));
        const auto flags = form_->Button(names[i]).ControlAs<xpbutton::XPButton2>().GetFlags();
        EXPECT_TRUE(flags.FormActive);
    }
}

TEST_F(Form1Test, ClosingTheWindowTerminatesEveryButtonAndUnhooksTheForm) {
    HWND w = form_->Hwnd();
    std::vector<host::ControlSite*> sites;
    for (const wchar_t* name : {L"Command2", L"Command3", L"XPButton21"}) sites.push_back(&form_->Button(name));
    ::PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(w); }));
    for (host::ControlSite* site : sites) {
        EXPECT_TRUE(site->Terminated());
        const auto& button = site->ControlAs<xpbutton::XPButton2>();
        for (const auto& rec : button.Hooks().Records()) EXPECT_EQ(rec.HWndHooked, nullptr);
    }
    // The close posted the quit request for the message loop.
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Form1Test, LayoutScalesWithTheDpi) {
    HWND w = form_->Hwnd();
    RECT suggested{};
    ::GetWindowRect(w, &suggested);
    ::SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    Pump(std::chrono::milliseconds(50));
    // (The frame keeps the system's metrics in this simulated change, so only the
    // children are compared.)
    const RECT b = ChildRectInClient(w, form_->ChildWindow(L"Command3"));
    EXPECT_EQ(b.left, 228);
    EXPECT_EQ(b.top, 408);
    EXPECT_EQ(b.right - b.left, 145);  // 2566 x 0.01 mm at 144 dpi
    EXPECT_EQ(b.bottom - b.top, 49);
    const RECT t = ChildRectInClient(w, form_->ChildWindow(L"Text1"));
    EXPECT_EQ(t.left, 36);
    EXPECT_EQ(t.top, 264);
    EXPECT_EQ(t.right - t.left, 494);
    const RECT lbl = ChildRectInClient(w, form_->ChildWindow(L"Label4"));
    EXPECT_EQ(lbl.left, 24);
    EXPECT_EQ(lbl.top, 480);
}

// Rows of the window's screen area, as shown, holding pixels darker than mid-grey: the
// height of the text drawn there.
int InkRows(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    const win32::WindowDc screen(nullptr);
    int rows = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = ::GetPixel(screen.get(), x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

// A move or resize of the form.
bool MovesOrResizes(UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_WINDOWPOSCHANGING) return false;
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    return (pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE);
}

TEST_F(Form1Test, ADpiChangeMovesOnceToTheSuggestedRectangleAndRepaintsEveryChild) {
    HWND w = form_->Hwnd();
    ::SetWindowTextW(form_->ChildWindow(L"Text1"), L"D:\\DataSource\\db_ZVQ_Data.MDF");
    Pump(std::chrono::milliseconds(100));
    const wchar_t* const children[] = {L"Label1", L"Text1", L"Command3"};
    int before[3];
    for (int i = 0; i < 3; ++i) before[i] = InkRows(form_->ChildWindow(children[i]));
    RECT window{};
    ::GetWindowRect(w, &window);
    const RECT suggested{window.left + 10, window.top + 5, window.left + 10 + (window.right - window.left) * 3 / 2,
                         window.top + 5 + (window.bottom - window.top) * 3 / 2};
    {
        testing_support::MessageCounter moves(w, &MovesOrResizes);
        ::SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(moves.Count(), 1) << "the window moved or resized more than once";
    }
    RECT now{};
    ::GetWindowRect(w, &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested)) << "not the suggested rectangle";
    Pump(std::chrono::milliseconds(200));
    // Every child shows its text in the fonts for 144 dpi, half as tall again.
    for (int i = 0; i < 3; ++i) {
        const int after = InkRows(form_->ChildWindow(children[i]));
        EXPECT_GE(after * 10, before[i] * 13) << base::ToUtf8(children[i]) << ": " << before[i] << " -> " << after;
    }
}

TEST_F(Form1Test, ADpiChangeRepaintsTheWholeWindowEvenWhereItsSizeStays) {
    // Windows may suggest the window's own rectangle (a monitor of the same size in
    // pixels): then no resize repaints anything, and the banner, drawn for the new DPI,
    // must still be painted again. A mark on the banner's corner shows whether it was.
    HWND w = form_->Hwnd();
    Pump(std::chrono::milliseconds(100));
    constexpr COLORREF kMark = RGB(255, 0, 255);
    {
        const win32::WindowDc dc(w);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) ::SetPixel(dc.get(), x, y, kMark);
        ASSERT_EQ(::GetPixel(dc.get(), 3, 3), kMark);
    }
    RECT same{};
    ::GetWindowRect(w, &same);
    ::SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&same));
    Pump(std::chrono::milliseconds(200));
    const win32::WindowDc dc(w);
    EXPECT_NE(::GetPixel(dc.get(), 3, 3), kMark) << "the banner was not painted again";
}

TEST_F(Form1Test, LabelsShowTheBannerBehindTheirText) {
    // A label's top row is mostly clear of ink (the font's leading; a quotation mark may
    // reach it): there the banner must show as the form paints it where the label is not.
    HWND w = form_->Hwnd();
    ASSERT_FALSE(win32::HighContrastOn());
    const win32::WindowDc screen(nullptr);
    for (const wchar_t* name : {L"Label3", L"Label1", L"Label2", L"Label4"}) {
        SCOPED_TRACE(base::ToUtf8(name));
        HWND label = form_->ChildWindow(name);
        RECT r{};
        ::GetWindowRect(label, &r);
        auto topRow = [&] {
            Pump(std::chrono::milliseconds(100));
            std::vector<COLORREF> row;
            for (int x = r.left; x < r.right; ++x) row.push_back(::GetPixel(screen.get(), x, r.top));
            return row;
        };
        const std::vector<COLORREF> shown = topRow();
        ::ShowWindow(label, SW_HIDE);
        ::UpdateWindow(w);
        const std::vector<COLORREF> behind = topRow();
        ::ShowWindow(label, SW_SHOW);
        size_t same = 0;
        for (size_t i = 0; i < shown.size(); ++i) same += shown[i] == behind[i];
        EXPECT_GE(same * 10, shown.size() * 9) << same << " of " << shown.size() << " pixels show the banner";
    }
}

using win32::HighContrastScheme;

// The label's pixels on the screen: how many are nearer `text` than `background` and how
// many nearer `background`, and whether every one is a blend of the two (the glyphs'
// smoothed edges), so that nothing else, such as a picture, shows behind the text.
struct LabelPixels {
    int Text = 0, Background = 0;
    bool OnlyTextOnBackground = true;
};
LabelPixels ReadLabel(HWND label, COLORREF text, COLORREF background) {
    RECT r{};
    ::GetWindowRect(label, &r);
    const win32::WindowDc screen(nullptr);
    const int bg[3] = {GetRValue(background), GetGValue(background), GetBValue(background)};
    const int fg[3] = {GetRValue(text), GetGValue(text), GetBValue(text)};
    int widest = 0;  // the channel where the two colours differ most
    for (int k = 1; k < 3; ++k)
        if (std::abs(fg[k] - bg[k]) > std::abs(fg[widest] - bg[widest])) widest = k;
    LabelPixels p;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = ::GetPixel(screen.get(), x, y);
            const int v[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
            const double t = double(v[widest] - bg[widest]) / (fg[widest] - bg[widest]);
            ++(t > 0.5 ? p.Text : p.Background);
            for (int k = 0; k < 3; ++k)
                if (t < -0.05 || t > 1.05 || std::abs(v[k] - (bg[k] + t * (fg[k] - bg[k]))) > 12)
                    p.OnlyTextOnBackground = false;
        }
    }
    return p;
}

// The five looks of a button as drawn into its picture, each as the mask of the pixels
// that differ from the look's face (taken beside the caption): where border, caption and
// focus rectangle are, whatever their colours.
std::vector<std::vector<bool>> LookMasks(host::ControlSite& site) {
    auto& button = site.ControlAs<xpbutton::XPButton2>();
    RECT rc{};
    ::GetClientRect(site.Hwnd(), &rc);
    std::vector<std::vector<bool>> masks;
    for (int32_t s = xpbutton::STATE_DISABLED; s <= xpbutton::STATE_PRESSED; ++s) {
        button.DrawButton(s);
        const COLORREF face = ::GetPixel(site.PictureDc(), 5, rc.bottom / 2);
        std::vector<bool> mask;
        for (int y = 0; y < rc.bottom; ++y)
            for (int x = 0; x < rc.right; ++x) mask.push_back(::GetPixel(site.PictureDc(), x, y) != face);
        masks.push_back(std::move(mask));
    }
    return masks;
}

TEST_F(Form1Test, HighContrastDrawsInTheUsersColoursAndFollowsAChangeAtOnce) {
    HWND w = form_->Hwnd();
    POINT banner{10, 10};
    ::ClientToScreen(w, &banner);
    const COLORREF bannerBefore = ScreenPixelAt(banner.x, banner.y);
    const wchar_t* const labels[] = {L"Label3", L"Label1", L"Label2", L"Label4"};
    host::ControlSite& detach = form_->Button(L"Command3");
    ::SetFocus(detach.Hwnd());
    Pump(std::chrono::milliseconds(50));
    for (const auto& [scheme, name, hintKeepsRed] :
         {std::tuple{HighContrastScheme::kBlack, L"form1-high-contrast-black", true},
          std::tuple{HighContrastScheme::kWhite, L"form1-high-contrast-white", false}}) {
        SCOPED_TRACE(base::ToUtf8(name));
        // Switched while Dorvane runs: no restart.
        HighContrastScheme hc(scheme);
        Pump(std::chrono::milliseconds(200));
        // No banner: the window's colour from the top.
        EXPECT_EQ(ScreenPixelAt(banner.x, banner.y), scheme.Window);
        // Every label's text in the window text colour on the window colour; the red
        // hint red only where red reads on it (on black, not on white).
        for (const wchar_t* label : labels) {
            SCOPED_TRACE(base::ToUtf8(label));
            const bool red = label == std::wstring(L"Label4") && hintKeepsRed;
            const LabelPixels p =
                ReadLabel(form_->ChildWindow(label), red ? RGB(255, 0, 0) : scheme.WindowText, scheme.Window);
            EXPECT_GT(p.Text, 20);
            EXPECT_GT(p.Background, p.Text) << "the text does not stand out from what is behind it";
            EXPECT_TRUE(p.OnlyTextOnBackground) << "pixels of neither the text's nor the window's colour";
        }
        // The buttons repainted in the scheme's face colour, and their five looks told
        // apart by more than colour.
        RECT b{};
        ::GetWindowRect(form_->ChildWindow(L"Command2"), &b);
        EXPECT_EQ(ScreenPixelAt(b.left + 5, (b.top + b.bottom) / 2), scheme.ButtonFace);
        ShootWindow(w, name);
        const auto masks = LookMasks(detach);
        for (size_t i = 0; i < masks.size(); ++i)
            for (size_t j = i + 1; j < masks.size(); ++j)
                EXPECT_NE(masks[i], masks[j]) << "looks " << i << " and " << j << " differ in colour alone";
        detach.ControlAs<xpbutton::XPButton2>().DrawButton(xpbutton::STATE_FOCUSED);
    }
    // High Contrast off again (the setting's own message): the banner is back.
    ::SendMessageW(w, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    Pump(std::chrono::milliseconds(200));
    EXPECT_EQ(ScreenPixelAt(banner.x, banner.y), bannerBefore);
}

// Form1 as Windows 7 and 8 run it: the per-monitor DPI calls made unavailable, so the form
// takes the system DPI and the classic calls. At 96 dpi every pixel is where the design puts
// it; at 144 dpi (a child process started with the system set to 144) the whole window
// scales: client area, frame, children and fonts.
class Form1ClassicDpi : public ::testing::Test {
protected:
    void SetUp() override { win32::dpi::HideNewerCalls(true); }
    void TearDown() override {
        form_.reset();
        Pump(std::chrono::milliseconds(20));
        win32::dpi::HideNewerCalls(false);
    }
    void Shoot(const wchar_t* name) const { ShootWindow(form_->Hwnd(), name); }
    std::unique_ptr<app::Form1> form_;
};

// The system DPI a process started from now on gets, through the user's LogPixels value;
// the previous value comes back at the end of the scope.
class SystemDpiForNewProcesses {
public:
    explicit SystemDpiForNewProcesses(DWORD dpi) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          &key_, nullptr);
        DWORD size = sizeof(previous_);
        had_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous_), &size) ==
               ERROR_SUCCESS;
        ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    }
    ~SystemDpiForNewProcesses() {
        if (had_)
            ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_),
                             sizeof(previous_));
        else
            ::RegDeleteValueW(key_, L"LogPixels");
        ::RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    DWORD previous_ = 0;
    bool had_ = false;
};

// Set by the test that starts a child process: the file the child's test creates.
constexpr wchar_t kChildRanVariable[] = L"DORVANE_CHILD_TEST_RAN";

TEST_F(Form1ClassicDpi, At96EveryPixelIsWhereTheDesignPutsIt) {
    ASSERT_FALSE(win32::dpi::NewerCallsAvailable());
    ASSERT_EQ(win32::dpi::System(), 96u) << "this test process runs at the session's 96 dpi";
    form_ = ShowForm1();
    EXPECT_EQ(form_->Dpi(), 96u);
    RECT client{};
    ::GetClientRect(form_->Hwnd(), &client);
    EXPECT_EQ(client.right, 389);
    EXPECT_EQ(client.bottom, 354);
    ExpectChildrenAsDesigned(*form_);
    Shoot(L"form1-classic-96");

    // The same form at 144 dpi, in a process of its own.
    SystemDpiForNewProcesses dpi144(144);
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_brief=1 --gtest_also_run_disabled_tests "
                           L"--gtest_filter=Form1ClassicDpi.DISABLED_At144TheWholeWindowScales";
    // The child names this file when its test runs: a filter that matches no test
    // (after a rename, say) would otherwise pass with nothing checked.
    wchar_t folder[MAX_PATH], ranFile[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ASSERT_NE(::GetTempFileNameW(folder, L"dv", 0, ranFile), 0u);
    ::DeleteFileW(ranFile);
    ::SetEnvironmentVariableW(kChildRanVariable, ranFile);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    ::SetEnvironmentVariableW(kChildRanVariable, nullptr);
    const win32::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u) << "the form at 144 dpi did not hold its layout (its failures are printed above)";
    EXPECT_NE(::GetFileAttributesW(ranFile), INVALID_FILE_ATTRIBUTES) << "the child process ran no test";
    ::DeleteFileW(ranFile);
}

// Run only by the test above, in a process started at 144 dpi.
TEST_F(Form1ClassicDpi, DISABLED_At144TheWholeWindowScales) {
    wchar_t ranFile[MAX_PATH];
    if (::GetEnvironmentVariableW(kChildRanVariable, ranFile, MAX_PATH))
        win32::UniqueFile(::CreateFileW(ranFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_EQ(win32::dpi::System(), 144u);
    form_ = ShowForm1();
    HWND w = form_->Hwnd();
    EXPECT_EQ(form_->Dpi(), 144u);
    RECT client{}, window{};
    ::GetClientRect(w, &client);
    EXPECT_EQ(client.right, 584);   // 5835 twips
    EXPECT_EQ(client.bottom, 531);  // 5310 twips
    // The frame is the classic one for this style at the system DPI.
    RECT expected{0, 0, 584, 531};
    ::AdjustWindowRectEx(&expected, static_cast<DWORD>(::GetWindowLongW(w, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(w, GWL_EXSTYLE)));
    ::GetWindowRect(w, &window);
    EXPECT_EQ(window.right - window.left, expected.right - expected.left);
    EXPECT_EQ(window.bottom - window.top, expected.bottom - expected.top);
    const RECT b = ChildRectInClient(w, form_->ChildWindow(L"Command3"));
    EXPECT_EQ(b.left, 228);
    EXPECT_EQ(b.top, 408);
    EXPECT_EQ(b.right - b.left, 145);
    EXPECT_EQ(b.bottom - b.top, 49);
    const RECT t = ChildRectInClient(w, form_->ChildWindow(L"Text1"));
    EXPECT_EQ(t.left, 36);
    EXPECT_EQ(t.top, 264);
    EXPECT_EQ(t.right - t.left, 494);
    EXPECT_EQ(t.bottom - t.top, 38);
    const RECT lbl = ChildRectInClient(w, form_->ChildWindow(L"Label4"));
    EXPECT_EQ(lbl.left, 24);
    EXPECT_EQ(lbl.top, 480);
    // Fonts for 144 dpi: the labels' from the system's message font, the buttons' Verdana
    // 8.25 pt as 17 px.
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0));
    LOGFONTW label{}, button{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(form_->ChildWindow(L"Label4"), WM_GETFONT, 0, 0)),
                 sizeof(label), &label);
    ::GetObjectW(::GetCurrentObject(form_->Button(L"Command3").PictureDc(), OBJ_FONT), sizeof(button), &button);
    EXPECT_EQ(label.lfHeight, ncm.lfMessageFont.lfHeight);
    EXPECT_EQ(button.lfHeight, -17);
    Shoot(L"form1-classic-144");
}

}  // namespace
}  // namespace dorvane::test
