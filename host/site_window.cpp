// The surface window of a ControlSite: what its messages do (painting from the picture,
// resizing it, focus, screen readers) and the routing of mouse and keyboard input to
// the control's notifications.
#include "host/control_site.h"

#include <windowsx.h>

#include <algorithm>

#include "host/accessible_button.h"

namespace host {

void PostDefaultAction(HWND site) {
    // The reader's call must return at once (it waits for it, and the Click may open a
    // dialog or run a whole detach): the click comes through the message loop instead.
    ::PostMessageW(site, kDefaultActionMessage, 0, 0);
}

namespace {

int16_t ShiftFromKeyboard() {
    int16_t shift = 0;
    if (::GetKeyState(VK_SHIFT) < 0) shift |= vbShiftMask;
    if (::GetKeyState(VK_CONTROL) < 0) shift |= vbCtrlMask;
    if (::GetKeyState(VK_MENU) < 0) shift |= vbAltMask;
    return shift;
}

int16_t ButtonsFromMouseKeys(WPARAM keys) {
    int16_t b = 0;
    if (keys & MK_LBUTTON) b |= vbLeftButton;
    if (keys & MK_RBUTTON) b |= vbRightButton;
    if (keys & MK_MBUTTON) b |= vbMiddleButton;
    return b;
}

// Whether the window has anything outside its client area: a frame, a border, an edge
// or a scroll bar.
bool HasNonClientArea(HWND hwnd) {
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    return (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_VSCROLL | WS_HSCROLL)) != 0 ||
           (exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME)) != 0;
}

}  // namespace

void ControlSite::MouseNotification(UINT msg, WPARAM wParam, LPARAM lParam) {
    float x = static_cast<float>(GET_X_LPARAM(lParam));
    float y = static_cast<float>(GET_Y_LPARAM(lParam));
    int16_t shift = ShiftFromKeyboard();
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            int16_t button = msg == WM_LBUTTONDOWN   ? vbLeftButton
                             : msg == WM_RBUTTONDOWN ? vbRightButton
                                                     : vbMiddleButton;
            // A press gives the control the focus before it hears of the press.
            if (msg == WM_LBUTTONDOWN && ::GetFocus() != Hwnd()) ::SetFocus(Hwnd());
            if (!capturing_) {
                ::SetCapture(Hwnd());
                capturing_ = true;
            }
            Deliver([&] { control_->MouseDown(button, shift, x, y); });
            break;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            int16_t button = msg == WM_LBUTTONUP ? vbLeftButton : msg == WM_RBUTTONUP ? vbRightButton : vbMiddleButton;
            if (capturing_ && !(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
                capturing_ = false;
                ::ReleaseCapture();
            }
            Deliver([&] { control_->MouseUp(button, shift, x, y); });
            break;
        }
        case WM_MOUSEMOVE: {
            int16_t buttons = ButtonsFromMouseKeys(wParam);
            Deliver([&] { control_->MouseMove(buttons, shift, x, y); });
            break;
        }
        default:
            break;
    }
}

void ControlSite::KeyNotification(UINT msg, int16_t key, bool repeat) {
    int16_t shift = ShiftFromKeyboard();  // Alt is in it for the keys that come with Alt
    const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    // Only keys the control heard go down are its own. A key that went down elsewhere (in
    // a modal loop: the window menu, a move of the form, a message box, a dialog) and is
    // still held comes back as auto-repeat and then its release: neither is the control's,
    // and a repeat never starts a press. Only a new press of it reaches the control.
    const auto heard = std::find(heldKeys_.begin(), heldKeys_.end(), key);
    if (down) {
        if (heard == heldKeys_.end()) {
            if (repeat) return;
            heldKeys_.push_back(key);
        }
        Deliver([&] { control_->KeyDown(key, shift); });
    } else {
        if (heard == heldKeys_.end()) return;
        heldKeys_.erase(heard);
        Deliver([&] { control_->KeyUp(key, shift); });
    }
}

void ControlSite::EndPress() {
    // A modal loop of the form (its window menu, menu mode, a move or resize of it) takes
    // the keyboard and the mouse until it ends: the control would keep a Space press armed
    // for good, or click when the key held through the loop is let go (inside the loop,
    // which would then run the Click's work). The control hears the loop as the focus
    // going and coming back, which ends a press without a Click; the held keys' repeats
    // and releases are no longer its own.
    const bool pressed = !heldKeys_.empty();
    heldKeys_.clear();
    if (!pressed || !hwnd_ || !loaded_ || terminated_) return;
    Deliver([&] { control_->LostFocus(); });
    if (::GetFocus() == Hwnd()) Deliver([&] { control_->GotFocus(); });
}

LRESULT ControlSite::HandleMessage(HWND self, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCCREATE:
            hwnd_.reset(self);  // the site owns its window from here on
            break;
        case WM_ERASEBKGND:
            return 1;  // the picture covers everything
        case WM_NCPAINT:
            // The control's window has no frame, border or scroll bar: no non-client area
            // to draw, and the default handling would still take a window DC clipped to
            // the region, at every show and reshape.
            if (!HasNonClientArea(self)) return 0;
            break;
        case WM_PAINT: {
            win32::PaintDc paint(self);
            const RECT& a = paint.Area();
            ::BitBlt(paint.get(), a.left, a.top, a.right - a.left, a.bottom - a.top, picture_.get(), a.left, a.top,
                     SRCCOPY);
            return 0;
        }
        case WM_SIZE:
            if (!picture_) return 0;  // still being created: Create makes the picture next
            ResizePicture();
            if (loaded_ && !terminated_) Deliver([&] { control_->Resize(); });
            return 0;
        case WM_GETDLGCODE: {
            // Enter, Space and the arrows belong to the focused control; Tab still moves on.
            LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
            auto* m = reinterpret_cast<const MSG*>(lParam);
            if (m && m->message == WM_KEYDOWN && (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
                code |= DLGC_WANTMESSAGE;
            return code;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
        case WM_MOUSEMOVE:
            MouseNotification(msg, wParam, lParam);
            return 0;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            // The second press of a double-click is reported as the double click alone.
            if (!capturing_) {
                ::SetCapture(self);
                capturing_ = true;
            }
            Deliver([&] { control_->DblClick(); });
            return 0;
        case WM_CAPTURECHANGED:
            capturing_ = false;
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            KeyNotification(msg, static_cast<int16_t>(wParam), (lParam >> 30) & 1);
            if (msg == WM_KEYDOWN || msg == WM_KEYUP) return 0;
            // Keys with Alt (and F10) keep their system meaning once the control has
            // heard them: Alt+F4 closes the form, Alt alone or F10 enters menu mode, and
            // Alt+Space (as WM_SYSCHAR) opens its window menu. A loop they start ends the
            // press through the form's container (EndPress).
            break;
        case WM_SETFOCUS:
            heldKeys_.clear();
            Deliver([&] { control_->GotFocus(); });
            return 0;
        case WM_KILLFOCUS:
            heldKeys_.clear();  // their releases go to the new focus
            Deliver([&] { control_->LostFocus(); });
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            // The form passes these on: a new colour scheme, High Contrast on or off.
            if ((msg == WM_SYSCOLORCHANGE || wParam == SPI_SETHIGHCONTRAST) && loaded_ && !terminated_)
                Deliver([&] { control_->SystemColorsChanged(); });
            return 0;
        case kDefaultActionMessage:
            // A screen reader's default action, posted by PostDefaultAction: the access
            // key's, which clicks the control (not while the form holds its input off).
            DeliverAccessKey(L'\0');
            return 0;
        case WM_GETOBJECT:
            // Screen readers: the control answers as a push button named by its window
            // text; its default action is the access key's, which clicks it once the
            // reader's call has returned.
            if (static_cast<LONG>(lParam) == static_cast<LONG>(OBJID_CLIENT)) {
                const LRESULT r = AnswerAccessibleButton(self, wParam, [self] { PostDefaultAction(self); });
                if (r > 0) return r;
            }
            break;
        case WM_NCDESTROY: {
            LRESULT r = ::DefWindowProcW(self, msg, wParam, lParam);
            (void)hwnd_.release();  // the window is gone; nothing left to destroy
            return r;
        }
        default:
            break;
    }
    return ::DefWindowProcW(self, msg, wParam, lParam);
}

}  // namespace host
