// Builds Form1's children from its stored design and places them for the window's DPI:
// twips and extents scale with win32/units.h; labels size themselves to their text.
#include "app/main_window.h"

#include <algorithm>
#include <cmath>

#include "app/start_steps.h"
#include "host/error.h"
#include "win32/dpi.h"
#include "win32/units.h"
#include "win32/window_class.h"

namespace app {

namespace {

const wchar_t* const kExtenderKeys[] = {L"left", L"top", L"tabindex", L"width", L"height"};

bool IsExtenderKey(const std::wstring& key) {
    return std::any_of(std::begin(kExtenderKeys), std::end(kExtenderKeys), [&](const wchar_t* k) { return key == k; });
}

int32_t ReadInt(const host::PropertyBag& bag, const wchar_t* key, int32_t fallback) {
    return host::ToInt32(bag.ReadProperty(key, fallback));
}

struct KindName {
    ChildKind Kind;
    const wchar_t* Name;
};
constexpr KindName kKinds[] = {
    {ChildKind::XPButton2, L"XPButton2"}, {ChildKind::Label, L"Label"}, {ChildKind::TextBox, L"TextBox"}};

ChildKind ParseKind(const std::wstring& name) {
    for (const KindName& k : kKinds)
        if (name == k.Name) return k.Kind;
    throw host::Error(host::ErrorNumber::NotSupported, L"The form's design holds an unknown control kind " + name);
}

}  // namespace

RECT Form1::ChildRect(const PlacedChild& c) const {
    const int x = win32::TwipsToPixels(c.Left, dpi_), y = win32::TwipsToPixels(c.Top, dpi_);
    int w, h;
    if (c.Kind == ChildKind::XPButton2) {
        w = win32::HimetricToPixels(c.ExtentX, dpi_);
        h = win32::HimetricToPixels(c.ExtentY, dpi_);
    } else if (c.Kind == ChildKind::Label && c.Window) {
        const SIZE sz = TextSize(win32::WindowText(c.Window));
        w = sz.cx;
        h = sz.cy;
    } else {
        w = win32::TwipsToPixels(c.Width, dpi_);
        h = win32::TwipsToPixels(c.Height, dpi_);
    }
    return RECT{x, y, x + w, y + h};
}

SIZE Form1::TextSize(const std::wstring& text) const {
    // Auto-size: a label is as large as its text in the form's font, measured on the
    // form's screen before the label exists.
    win32::WindowDc dc(hwnd_);
    win32::SelectedObject font(dc.get(), UiFont());
    SIZE sz{};
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &sz);
    return sz;
}

void Form1::BuildChildren(const host::DesignNode& design) {
    std::vector<const host::DesignNode*> nodes;
    for (const auto& child : design.Children) nodes.push_back(&child);
    // Created in tab order, which makes it the focus order as well.
    std::stable_sort(nodes.begin(), nodes.end(), [](const host::DesignNode* a, const host::DesignNode* b) {
        return ReadInt(a->Properties, L"TabIndex", 0) < ReadInt(b->Properties, L"TabIndex", 0);
    });
    ApplyFonts();
    start_steps::Mark(start_steps::Fonts);
    HWND previous = HWND_TOP;
    for (const host::DesignNode* node : nodes) {
        PlacedChild c;
        c.Kind = ParseKind(node->Kind);
        c.Name = node->Name;
        c.Left = ReadInt(node->Properties, L"Left", 0);
        c.Top = ReadInt(node->Properties, L"Top", 0);
        c.Width = ReadInt(node->Properties, L"Width", 0);
        c.Height = ReadInt(node->Properties, L"Height", 0);
        c.ExtentX = ReadInt(node->Properties, L"_ExtentX", 2170);
        c.ExtentY = ReadInt(node->Properties, L"_ExtentY", 714);
        c.TabIndex = ReadInt(node->Properties, L"TabIndex", 0);
        const RECT r = ChildRect(c);
        if (c.Kind == ChildKind::XPButton2) {
            host::PropertyBag bag;  // the control's own stored properties
            for (const auto& [key, value] : node->Properties.Entries())
                if (!IsExtenderKey(key)) bag.Set(key, value);
            host::SiteSettings settings;
            settings.Name = c.Name;
            settings.Bounds = r;
            host::ControlSite& site = container_->AddControl(std::make_unique<xpbutton::XPButton2>(), settings);
            c.Window = site.Hwnd();
            auto& button = site.ControlAs<xpbutton::XPButton2>();
            ConnectClick(c.Name, button);
            start_steps::Mark(start_steps::ChildWindows);
            if (auto status = site.Load(&bag))
                throw host::Error(status->Number(), c.Name + L": " + status->Description());
            start_steps::Mark(start_steps::ButtonSetUp);
        } else if (c.Kind == ChildKind::Label) {
            const std::wstring text = host::ToText(node->Properties.ReadProperty(L"Caption", std::wstring()));
            c.TextColour =
                static_cast<uint32_t>(ReadInt(node->Properties, L"ForeColor", static_cast<int32_t>(0x80000012)));
            const SIZE sz = TextSize(text);
            c.Window = ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                         r.left, r.top, sz.cx, sz.cy, hwnd_, nullptr, instance_, nullptr);
            container_->AddPlainControl(std::make_unique<host::PlainControl>(node->Kind, c.Name, c.Window));
        } else {
            const std::wstring text = host::ToText(node->Properties.ReadProperty(L"Text", std::wstring()));
            c.Window = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(),
                                         WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, r.left, r.top,
                                         r.right - r.left, r.bottom - r.top, hwnd_, nullptr, instance_, nullptr);
            container_->AddPlainControl(std::make_unique<host::PlainControl>(node->Kind, c.Name, c.Window));
        }
        if (!c.Window) throw host::Error(host::ErrorNumber::Platform, L"Cannot create the control " + c.Name);
        if (c.Kind != ChildKind::XPButton2)
            ::SendMessageW(c.Window, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), FALSE);
        // Each child right after the one before it; a window made where it belongs stays.
        if (::GetWindow(c.Window, GW_HWNDPREV) != (previous == HWND_TOP ? nullptr : previous))
            ::SetWindowPos(c.Window, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = c.Window;
        children_.push_back(c);
    }
    PutLabelsBeforeTheirFields();
    start_steps::Mark(start_steps::ChildWindows);
}

void Form1::PutLabelsBeforeTheirFields() {
    // Screen readers name a text field after the label just before it in z-order, which
    // follows the tab order, where the labels come elsewhere. Each label goes right
    // before the field below it; fields and buttons keep their order, and with it Tab's.
    for (const PlacedChild& label : children_) {
        if (label.Kind != ChildKind::Label) continue;
        const PlacedChild* field = nullptr;
        for (const PlacedChild& c : children_)
            if (c.Kind == ChildKind::TextBox && c.Top > label.Top && (!field || c.Top < field->Top)) field = &c;
        if (!field) continue;
        HWND before = ::GetWindow(field->Window, GW_HWNDPREV);
        if (before == label.Window) continue;
        ::SetWindowPos(label.Window, before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void Form1::ApplyFonts() {
    // Labels and text fields use the system's message font at the window's DPI.
    NONCLIENTMETRICSW ncm{};
    if (win32::dpi::NonClientMetrics(ncm, dpi_)) uiFont_.reset(::CreateFontIndirectW(&ncm.lfMessageFont));
    for (const auto& c : children_)
        if (c.Kind != ChildKind::XPButton2)
            ::SendMessageW(c.Window, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), FALSE);
}

HFONT Form1::UiFont() const {
    // A stock object is the system's: it is used, never owned.
    return uiFont_ ? uiFont_.get() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

void Form1::Layout(const RECT* suggested) {
    // The fonts were made for the window's DPI when the children were built; only a new
    // DPI needs them again.
    const bool dpiChanged = suggested != nullptr;
    if (dpiChanged) ApplyFonts();
    for (auto& c : children_) {
        // Only what is not yet in its place moves.
        const RECT r = ChildRect(c);
        const RECT now = PlacedRect(c.Window);
        if (!::EqualRect(&now, &r))
            ::SetWindowPos(c.Window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
        if (dpiChanged && c.Kind == ChildKind::XPButton2) {
            // The caption font follows the DPI too: re-apply the button's own font.
            if (auto* site = host::ControlSite::FromWindow(c.Window)) {
                auto& button = site->ControlAs<xpbutton::XPButton2>();
                if (button.Font()) button.SetFont(button.Font());
            }
        }
    }
    if (suggested) {
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    RECT rc{0, 0, win32::TwipsToPixels(clientWidth_, dpi_), win32::TwipsToPixels(clientHeight_, dpi_)};
    win32::dpi::WindowRectForClient(rc, static_cast<DWORD>(::GetWindowLongW(hwnd_, GWL_STYLE)),
                                   static_cast<DWORD>(::GetWindowLongW(hwnd_, GWL_EXSTYLE)), dpi_);
    RECT now{};
    ::GetWindowRect(hwnd_, &now);
    if (now.right - now.left != rc.right - rc.left || now.bottom - now.top != rc.bottom - rc.top)
        ::SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace app
