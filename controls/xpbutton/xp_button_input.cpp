// XPButton2's input: mouse, keys, focus, access key, and the hooked mouse-leave and
// activation messages drive its look and its events. Which look the flags call for is
// decided at the top, in one rule and each event's named exceptions to it.
#include "controls/xpbutton/xp_button.h"

#include <windowsx.h>

#include <cmath>

namespace xpbutton {

void XPButton2::Show(int32_t state) {
    if (m_lState != state) DrawButton(state);
}

void XPButton2::PutLook(const std::optional<LookChoice>& look) {
    if (!look) return;
    if (look->How == Paint::Draw)
        DrawButton(look->State);
    else
        Show(look->State);
}

// Which look shows. A press (the left button down, Space down, a double-click) shows the
// pressed look whatever the flags say. Otherwise one rule: a button at rest is hot under
// the pointer, focused with the focus or as the container's default button, normal
// otherwise. The focused look is always drawn afresh, never only shown: its one state
// stands for two pictures, with and without the focus rectangle, which follows the focus.
XPButton2::LookChoice XPButton2::RestingLook(bool focused) const {
    if (m_bMouseOver) return {STATE_HOT, Paint::Show};
    if (focused || m_bDefault) return {STATE_FOCUSED, Paint::Draw};
    return {STATE_NORMAL, Paint::Show};
}

// The events' own exceptions to it.

// The pointer moves: under it an armed press shows as pressed; off it the focus's look,
// only shown (moving outside repaints nothing), and no default-button look.
XPButton2::LookChoice XPButton2::PointerLook() const {
    if (m_bMouseOver) return {m_bPressed ? STATE_PRESSED : STATE_HOT, Paint::Show};
    return {m_bFocused ? STATE_FOCUSED : STATE_NORMAL, Paint::Show};
}

// A press by the keys ends (Space released, or cancelled by the access key): the keys went
// to this button, so off the pointer it takes the focused look whatever the focus flag says.
XPButton2::LookChoice XPButton2::KeyReleaseLook() const { return RestingLook(true); }

// The left button is released: as a press by the keys ends, except that a button without
// the focus paints nothing when the pointer is off it.
std::optional<XPButton2::LookChoice> XPButton2::MouseReleaseLook() const {
    if (!m_bMouseOver && !m_bFocused) return std::nullopt;
    return KeyReleaseLook();
}

// The focus arrives: a press keeps its look (the pressed look showing under the pointer, or
// a press armed off it).
std::optional<XPButton2::LookChoice> XPButton2::FocusGainedLook() const {
    if (m_bMouseOver ? m_lState == STATE_PRESSED : m_bPressed) return std::nullopt;
    return RestingLook(m_bFocused);
}

// The form is activated: a button that neither the pointer, the focus nor the default role
// lights keeps what it shows.
std::optional<XPButton2::LookChoice> XPButton2::ActivatedLook() const {
    if (!m_bMouseOver && !m_bFocused && !m_bDefault) return std::nullopt;
    return RestingLook(m_bFocused);
}

// In a form that is not active every button looks normal, the pointer and focus aside.
XPButton2::LookChoice XPButton2::InactiveLook() const { return {STATE_NORMAL, Paint::Show}; }

// The pointer leaves: nothing changes while Space holds a press or the button is disabled.
// With the focus or as the default button, a pressed look whose press is over goes back to
// normal, and a focused look already showing, or one in a form that is not active, is left.
std::optional<XPButton2::LookChoice> XPButton2::LeaveLook() const {
    if (m_bSpaceDown || m_lState == STATE_DISABLED) return std::nullopt;
    const LookChoice rest = RestingLook(m_bFocused);  // off the pointer by now
    if (rest.State != STATE_FOCUSED) return rest;
    if (m_lState == STATE_PRESSED) return m_bPressed ? rest : LookChoice{STATE_NORMAL, Paint::Draw};
    if (m_lState == STATE_FOCUSED || !m_bFormActive) return std::nullopt;
    return rest;
}

// A property changes (Enabled, or the container's default button): the focus is not
// consulted, and the hot and default looks are drawn afresh.
XPButton2::LookChoice XPButton2::PropertyLook() const {
    if (!m_bEnabled) return {STATE_DISABLED, Paint::Show};
    if (m_bMouseOver) return {STATE_HOT, Paint::Draw};
    if (m_bDefault) return {STATE_FOCUSED, Paint::Draw};
    return {STATE_NORMAL, Paint::Show};
}

void XPButton2::RaiseClick() {
    if (Events.Click) Events.Click();
}

void XPButton2::MouseDown(int16_t& Button, int16_t& /*Shift*/, float& /*X*/, float& /*Y*/) {
    m_nLastButton = Button;
    if (Button == host::vbLeftButton) {
        m_bFocused = true;
        m_bPressed = true;
        m_bMouseDown = true;
        Show(STATE_PRESSED);
    }
}

void XPButton2::MouseMove(int16_t& Button, int16_t& Shift, float& X, float& Y) {
    const double width = ScaleWidth();
    const double height = ScaleHeight();
    // Both edges count as inside.
    if (X >= 0 && X <= width && Y >= 0 && Y <= height) {
        m_bMouseOver = true;
        TrackMouseLeave(m_hWnd);
    } else {
        m_bMouseOver = false;
    }
    if (!m_bFormActive || m_bSpaceDown) return;
    PutLook(PointerLook());
    if (Events.MouseMove) Events.MouseMove(Button, Shift, X, Y);
}

void XPButton2::MouseUp(int16_t& Button, int16_t& /*Shift*/, float& /*X*/, float& /*Y*/) {
    if (Button != host::vbLeftButton) return;
    if (m_bFormActive) {
        PutLook(MouseReleaseLook());
        if (m_bMouseOver && m_bFocused && m_bPressed) RaiseClick();
    }
    // Cleared only after Click has returned.
    m_bPressed = false;
    m_bMouseDown = false;
}

void XPButton2::DblClick() {
    if (m_nLastButton == host::vbLeftButton) {
        DrawButton(STATE_PRESSED);
        if (Events.DblClick) Events.DblClick();
    }
}

void XPButton2::KeyDown(int16_t& KeyCode, int16_t& /*Shift*/) {
    switch (KeyCode) {
        case VK_RETURN:
            RaiseClick();  // every key-down, auto-repeat included
            break;
        case VK_SPACE:
            if (!m_bMouseDown) {
                m_bSpaceDown = true;
                m_bPressed = true;
                Show(STATE_PRESSED);
            }
            break;
        case VK_LEFT:
        case VK_UP:
            SendKeys(L"+{TAB}");
            break;
        case VK_RIGHT:
        case VK_DOWN:
            SendKeys(L"{TAB}");
            break;
        default:
            break;
    }
}

void XPButton2::KeyUp(int16_t& KeyCode, int16_t& /*Shift*/) {
    if (KeyCode != VK_SPACE || m_bMouseDown) return;
    PutLook(KeyReleaseLook());
    if (m_bPressed) RaiseClick();
    m_bSpaceDown = false;
    m_bPressed = false;
}

void XPButton2::GotFocus() {
    m_bFocused = true;
    PutLook(FocusGainedLook());
}

void XPButton2::LostFocus() {
    m_bFocused = false;
    m_bPressed = false;
    m_bSpaceDown = false;
    if (!m_bEnabled) return;
    PutLook(m_bFormActive ? RestingLook(m_bFocused) : InactiveLook());
}

void XPButton2::AccessKeyPress(int16_t& /*KeyAscii*/) {
    if (!m_bEnabled) return;
    if (m_bSpaceDown) {
        // The access key cancels a Space press.
        m_bSpaceDown = false;
        m_bPressed = false;
        PutLook(KeyReleaseLook());
        return;
    }
    // Let waiting input run first. The container keeps this object alive until its form
    // is gone, so it is still valid when the pass returns.
    DoEvents();
    RaiseClick();
}

void XPButton2::zSubclass_Proc(bool /*bBefore*/, bool& /*bHandled*/, LRESULT& /*lReturn*/, HWND& /*lng_hWnd*/,
                               UINT& uMsg, WPARAM& wParam, LPARAM& /*lParam*/) {
    switch (uMsg) {
        case WM_ACTIVATE:
        case WM_NCACTIVATE:
            if (wParam != 0) {
                m_bFormActive = true;
                if (m_bEnabled) PutLook(ActivatedLook());
                int32_t State = 1;
                if (Events.FormActivate) Events.FormActivate(State);
            } else {
                m_bFormActive = false;
                m_bPressed = false;
                m_bMouseDown = false;
                m_bSpaceDown = false;
                if (m_bEnabled) PutLook(InactiveLook());
                int32_t State = 0;
                if (Events.FormActivate) Events.FormActivate(State);
            }
            break;
        case WM_MOUSELEAVE:
            m_bMouseOver = false;
            PutLook(LeaveLook());
            break;
        default:
            break;
    }
}

void XPButton2::TrackMouseLeave(HWND hWnd) {
    TRACKMOUSEEVENT request{};
    request.cbSize = sizeof(request);
    request.dwFlags = TME_LEAVE;
    request.hwndTrack = hWnd;
    request.dwHoverTime = 0;
    ::TrackMouseEvent(&request);  // the result is not needed: a missed leave only keeps the hot look
}

void XPButton2::SnapMouseTo() {
    // Each step stands alone; a failing one is skipped. A failed ClientToScreen leaves the
    // origin at (0, 0); an unsited control has no size to halve, so the pointer goes to it.
    POINT p{0, 0};
    ::ClientToScreen(m_hWnd, &p);
    double cx = 0, cy = 0;
    if (Sited()) {
        cx = ScaleX(ScaleWidth() / 2, host::vbPixels, host::vbPixels);
        cy = ScaleY(ScaleHeight() / 2, host::vbPixels, host::vbPixels);
    }
    // Halves go to the even neighbour.
    ::SetCursorPos(static_cast<int>(std::nearbyint(cx + p.x)), static_cast<int>(std::nearbyint(cy + p.y)));
}

}  // namespace xpbutton
