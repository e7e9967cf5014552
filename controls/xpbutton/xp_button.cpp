// XPButton2's model: properties with their side effects, persistence, lifecycle.
#include "controls/xpbutton/xp_button.h"

#include "base/text.h"
#include "host/error.h"

namespace xpbutton {

XPButton2::XPButton2() : m_Hooks(*this) {}

XPButton2::~XPButton2() = default;

std::wstring XPButton2::AccessibleName() const {
    // The caption as read aloud: "&" marks are dropped, "&&" is one "&".
    std::wstring out;
    for (size_t i = 0; i < m_sCaption.size(); ++i) {
        if (m_sCaption[i] == L'&') {
            if (i + 1 < m_sCaption.size()) out += m_sCaption[++i];
            continue;
        }
        out += m_sCaption[i];
    }
    return out;
}

std::wstring XPButton2::ParseAccessKey() const {
    if (m_sCaption.empty()) return {};
    size_t pos = 0;
    for (;;) {
        const size_t amp = m_sCaption.find(L'&', pos);
        if (amp == std::wstring::npos || amp + 1 >= m_sCaption.size()) return {};
        const wchar_t key = base::LowerCase(m_sCaption[amp + 1]);
        if (key == L'&') {
            pos = amp + 2;  // a doubled ampersand is a literal one
            continue;
        }
        return std::wstring(1, key);
    }
}

void XPButton2::SetCaption(const std::wstring& NewValue) {
    m_sCaption = NewValue;
    SetAccessKeys(ParseAccessKey());
    DrawButton(m_lState);
    PropertyChanged(L"Caption");
}

void XPButton2::SetEnabled(bool NewValue) {
    m_bEnabled = NewValue;
    SetSurfaceEnabled(NewValue);
    m_bNoRedraw = false;
    PutLook(PropertyLook());
    PropertyChanged(L"Enabled");
}

void XPButton2::SetForeColor(int32_t NewValue) {
    m_lForeColor = NewValue;
    UserControl::SetForeColor(static_cast<uint32_t>(NewValue));
    DrawButton(m_lState);
    PropertyChanged(L"ForeColor");
}

void XPButton2::SetFocusRect(bool NewValue) {
    m_bFocusRect = NewValue;
    if (m_bFocused) DrawButton(m_lState);
    PropertyChanged(L"FocusRect");
}

void XPButton2::SetFont(const host::FontRef& NewValue) {
    if (!NewValue) throw host::Error(host::ErrorNumber::ObjectRequired, L"Object required: font");
    // Share the caller's font object and hear of its changes from now on.
    pFONT = NewValue;
    m_FontSubscription = pFONT->Subscribe([this](const std::wstring& name) { pFONT_FontChanged(name); });
    pFONT_FontChanged(L"");
}

void XPButton2::pFONT_FontChanged(const std::wstring& /*PropertyName*/) {
    SetSurfaceFont(pFONT);
    DrawButton(m_lState);
    PropertyChanged(L"Font");
}

void XPButton2::Initialize() {
    m_bNoRedraw = true;
    InitColors();
    pFONT = SurfaceFont();
    m_FontSubscription = pFONT->Subscribe([this](const std::wstring& name) { pFONT_FontChanged(name); });
    m_hWnd = SurfaceHwnd();
}

void XPButton2::InitProperties() {
    // Buttons of one form get distinct standard captions.
    std::wstring list = L"|";
    for (host::Control* c : Parent().Controls()) {
        if (auto* b = dynamic_cast<XPButton2*>(c)) list += b->Caption() + L"|";
    }
    if (list.find(L"|&OK|") == std::wstring::npos)
        SetCaption(L"&OK");
    else if (list.find(L"|&Cancel|") == std::wstring::npos)
        SetCaption(L"&Cancel");
    else if (list.find(L"|&Apply|") == std::wstring::npos)
        SetCaption(L"&Apply");
    else
        SetCaption(ExtenderName());
    SetForeColor(0);
    SetEnabled(true);
    SetFocusRect(true);
}

void XPButton2::ReadProperties(host::PropertyBag& PropBag) {
    m_hWndParent = Parent().hwnd();
    SetCaption(host::ToText(PropBag.ReadProperty(L"Caption", std::wstring(L"&OK"))));
    SetForeColor(host::ToInt32(PropBag.ReadProperty(L"ForeColor", int16_t{0})));
    SetFont(host::ToFont(PropBag.ReadProperty(L"Font", pFONT)));
    SetFocusRect(host::ToBool(PropBag.ReadProperty(L"FocusRect", true)));
    SetEnabled(host::ToBool(PropBag.ReadProperty(L"Enabled", true)));
    // The bag is the container's copy; nothing of it is kept.
    if (AmbientUserMode()) {
        HookWindow(m_hWnd);
        HookMessage(m_hWnd, WM_MOUSELEAVE, subclass::HOOK_AFTER);
        HookWindow(m_hWndParent);
        if (Parent().MDIChild())
            HookMessage(m_hWndParent, WM_NCACTIVATE, subclass::HOOK_AFTER);
        else
            HookMessage(m_hWndParent, WM_ACTIVATE, subclass::HOOK_AFTER);
    }
    m_bNoRedraw = false;
    DrawButton(m_lState);
}

void XPButton2::WriteProperties(host::PropertyBag& PropBag) {
    PropBag.WriteProperty(L"Caption", m_sCaption, std::wstring(L"&OK"));
    PropBag.WriteProperty(L"Enabled", m_bEnabled, true);
    PropBag.WriteProperty(L"ForeColor", m_lForeColor, int16_t{0});
    PropBag.WriteProperty(L"Font", pFONT, std::wstring(L"Verdana"));
    PropBag.WriteProperty(L"FocusRect", m_bFocusRect, true);
}

void XPButton2::AmbientChanged(const std::wstring& PropertyName) {
    m_bDefault = AmbientDisplayAsDefault();
    // Under the pointer the hot look stays.
    if (m_bEnabled && !m_bMouseOver && PropertyName == L"DisplayAsDefault") PutLook(PropertyLook());
}

void XPButton2::SystemColorsChanged() {
    // A High Contrast scheme on or off, or new colours in it: the same look again, in the
    // colours it now takes.
    DrawButton(m_lState);
}

void XPButton2::Terminate() {
    try {
        m_FontSubscription.reset();
        pFONT.reset();
        if (AmbientUserMode()) {
            UnhookWindow(m_hWnd);
            UnhookWindow(m_hWndParent);
        }
    } catch (...) {
        // Quiet by design: the control is going away (unsited, say) and nobody is left to tell.
    }
}

void XPButton2::Resize() {
    if (Height() < 100) {
        m_bNoRedraw = true;
        SetHeight(100);
    }
    if (Width() < 100) {
        m_bNoRedraw = true;
        SetWidth(100);
    }
    if (!m_bNoRedraw) DrawButton(m_lState);
}

XPButton2::Flags XPButton2::GetFlags() const {
    return Flags{m_bNoRedraw,   m_bMouseOver, m_bFocused,    m_bPressed, m_bMouseDown, m_bSpaceDown,
                 m_bFormActive, m_bDefault,   m_nLastButton, m_lState,   m_hWndParent};
}

}  // namespace xpbutton
