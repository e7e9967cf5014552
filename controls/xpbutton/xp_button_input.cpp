// XPButton2's input: mouse, keys, focus, access key, and the hooked mouse-leave and
// activation messages drive its look and its events.
#include "controls/xpbutton/xp_button.h"

#include <windowsx.h>

#include <cmath>

namespace xpbutton {

void XPButton2::Show(int32_t state) {
    if (m_lState != state) DrawButton(state);
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
    if (m_bMouseOver)
        Show(m_bPressed ? STATE_PRESSED : STATE_HOT);
    else
        Show(m_bFocused ? STATE_FOCUSED : STATE_NORMAL);
    if (Events.MouseMove) Events.MouseMove(Button, Shift, X, Y);
}

void XPButton2::MouseUp(int16_t& Button, int16_t& /*Shift*/, float& /*X*/, float& /*Y*/) {
    if (Button != host::vbLeftButton) return;
    if (m_bFormActive) {
        if (m_bMouseOver)
            Show(STATE_HOT);
        else if (m_bFocused)
            DrawButton(STATE_FOCUSED);
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
    if (m_bMouseOver)
        Show(STATE_HOT);
    else
        DrawButton(STATE_FOCUSED);
    if (m_bPressed) RaiseClick();
    m_bSpaceDown = false;
    m_bPressed = false;
}

void XPButton2::GotFocus() {
    m_bFocused = true;
    if (m_bMouseOver) {
        if (m_lState != STATE_HOT && m_lState != STATE_PRESSED) DrawButton(STATE_HOT);
    } else if (!m_bPressed) {
        DrawButton(STATE_FOCUSED);
    }
}

void XPButton2::LostFocus() {
    m_bFocused = false;
    m_bPressed = false;
    m_bSpaceDown = false;
    if (!m_bEnabled) return;
    if (!m_bFormActive)
        Show(STATE_NORMAL);
    else if (m_bMouseOver)
        Show(STATE_HOT);
    else if (m_bDefault)
        DrawButton(STATE_FOCUSED);
    else
        Show(STATE_NORMAL);
}

void XPButton2::AccessKeyPress(int16_t& /*KeyAscii*/) {
    if (!m_bEnabled) return;
    if (m_bSpaceDown) {
        // The access key cancels a Space press.
        m_bSpaceDown = false;
        m_bPressed = false;
        if (m_bMouseOver)
            Show(STATE_HOT);
        else
            DrawButton(STATE_FOCUSED);
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
                if (m_bEnabled) {
                    if (m_bMouseOver)
                        Show(STATE_HOT);
                    else if (m_bFocused || m_bDefault)
                        DrawButton(STATE_FOCUSED);
                }
                int32_t State = 1;
                if (Events.FormActivate) Events.FormActivate(State);
            } else {
                m_bFormActive = false;
                m_bPressed = false;
                m_bMouseDown = false;
                m_bSpaceDown = false;
                if (m_bEnabled) Show(STATE_NORMAL);
                int32_t State = 0;
                if (Events.FormActivate) Events.FormActivate(State);
            }
            break;
        case WM_MOUSELEAVE:
            m_bMouseOver = false;
            if (m_bSpaceDown || m_lState == STATE_DISABLED) break;
            if (!m_bFocused && !m_bDefault) {
                Show(STATE_NORMAL);
            } else if (m_lState == STATE_PRESSED) {
                DrawButton(m_bPressed ? STATE_FOCUSED : STATE_NORMAL);
            } else if (m_lState != STATE_FOCUSED && m_bFormActive) {
                DrawButton(STATE_FOCUSED);
            }
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
