#include "host/control_site.h"

#include <windowsx.h>
#include <oleacc.h>

#include "base/text.h"
#include "host/accessible_button.h"
#include "host/dpi.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace host {

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

double TwipsPerUnit(int32_t scale, UINT dpi) {
    switch (scale) {
        case vbTwips:
            return 1.0;
        case vbPoints:
            return 20.0;
        case vbPixels:
            return 1440.0 / dpi;
        case vbInches:
            return 1440.0;
        case vbMillimeters:
            return 1440.0 / 25.4;
        case vbCentimeters:
            return 1440.0 / 2.54;
        default:
            throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: scale mode");
    }
}

}  // namespace

ControlSite::ControlSite(std::unique_ptr<UserControl> control, SiteSettings settings)
    : control_(std::move(control)), settings_(std::move(settings)) {}

std::unique_ptr<ControlSite> ControlSite::Create(std::unique_ptr<UserControl> control, SiteSettings settings) {
    assert(control && "a site hosts a control");
    std::unique_ptr<ControlSite> site(new ControlSite(std::move(control), std::move(settings)));
    const std::wstring className = site->control_->TypeName();
    if (!RegisterWindowClass(className.c_str(), &ObjectWindow<ControlSite>::Proc, ClassLook{CS_DBLCLKS}))
        throw Error(ErrorNumber::Platform, L"Cannot register the window class " + className);
    const RECT& r = site->settings_.Bounds;
    // The window knows its site from its first message on (hwnd_ is set at WM_NCCREATE).
    if (!::CreateWindowExW(0, className.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, r.left,
                           r.top, r.right - r.left, r.bottom - r.top, site->settings_.ParentWindow, nullptr,
                           ::GetModuleHandleW(nullptr), site.get()))
        throw Error(ErrorNumber::Platform, L"Cannot create the control window " + site->settings_.Name);
    site->ResizePicture();
    site->font_ = FontObject::Create();  // the surface's initial font: Verdana 8.25 pt
    site->ApplyFont();
    site->control_->site_ = site.get();
    return site;
}

ControlSite::~ControlSite() {
    DestroyWindow();
    if (control_) control_->site_ = nullptr;
}

template <typename Fn>
Status ControlSite::Deliver(Fn&& fn) {
    try {
        fn();
        return std::nullopt;
    } catch (const Error& e) {
        lastError_ = e;
    } catch (const std::bad_alloc&) {
        lastError_ = Error(ErrorNumber::Platform, L"Out of memory");
    } catch (const std::exception& e) {
        lastError_ = Error(ErrorNumber::Platform, base::FromUtf8(e.what()));
    }
    return lastError_;
}

Status ControlSite::Load(const PropertyBag* saved) {
    if (loaded_) throw Error(ErrorNumber::InvalidProcedureCall, L"The control is already loaded");
    loaded_ = true;
    if (auto s = Deliver([&] { control_->Initialize(); })) return s;
    Status result;
    if (saved) {
        PropertyBag bag = *saved;  // the control gets its own copy; it is released after
        result = Deliver([&] { control_->ReadProperties(bag); });
    } else {
        result = Deliver([&] { control_->InitProperties(); });
    }
    RefreshWindowText();
    if (result) return result;
    return Deliver([&] { control_->Resize(); });
}

Status ControlSite::Save(PropertyBag& bag) {
    auto s = Deliver([&] { control_->WriteProperties(bag); });
    // The container's own entries: the extent in 0.01 mm.
    RECT rc{};
    ::GetWindowRect(hwnd(), &rc);
    const double dpi = Dpi();
    bag.Set(L"_ExtentX", static_cast<int32_t>(std::lround((rc.right - rc.left) * 2540.0 / dpi)));
    bag.Set(L"_ExtentY", static_cast<int32_t>(std::lround((rc.bottom - rc.top) * 2540.0 / dpi)));
    return s;
}

Status ControlSite::SetDisplayAsDefault(bool value) {
    settings_.DisplayAsDefault = value;
    return NotifyAmbientChanged(L"DisplayAsDefault");
}

Status ControlSite::NotifyAmbientChanged(const std::wstring& propertyName) {
    return Deliver([&] { control_->AmbientChanged(propertyName); });
}

void ControlSite::Terminate() {
    if (terminated_ || !loaded_) {
        terminated_ = true;
        return;
    }
    terminated_ = true;
    Deliver([&] { control_->Terminate(); });
}

void ControlSite::DestroyWindow() {
    Terminate();
    if (hwnd_) {
        ObjectWindow<ControlSite>::Detach(hwnd_.get());
        hwnd_.reset();
    }
}

bool ControlSite::WantsAccessKey(wchar_t key) const {
    if (!::IsWindowEnabled(hwnd())) return false;
    // The system's mapping covers every script, so Alt+Ж finds the key ж.
    const wchar_t k = base::LowerCase(key);
    for (wchar_t c : accessKeys_)
        if (base::LowerCase(c) == k) return true;
    return false;
}

IAccessible* ControlSite::CreateAccessibleObject() {
    return CreateAccessibleButton(hwnd(), [this] { DeliverAccessKey(L'\0'); });
}

void ControlSite::DeliverAccessKey(wchar_t key) {
    if (::GetFocus() != hwnd()) ::SetFocus(hwnd());
    int16_t keyAscii = static_cast<int16_t>(key);
    Deliver([&] { control_->AccessKeyPress(keyAscii); });
}

UINT ControlSite::Dpi() const { return dpi::ForWindow(hwnd_.get()); }

double ControlSite::ClientWidth() const {
    RECT rc{};
    ::GetClientRect(hwnd(), &rc);
    return rc.right - rc.left;
}

double ControlSite::ClientHeight() const {
    RECT rc{};
    ::GetClientRect(hwnd(), &rc);
    return rc.bottom - rc.top;
}

uint32_t ControlSite::ResolveColour(uint32_t colour) {
    if (colour & 0x80000000u) return ::GetSysColor(static_cast<int>(colour & 0xFF));
    return colour & 0x00FFFFFFu;
}

void ControlSite::Clear() {
    RECT rc{0, 0, static_cast<LONG>(ClientWidth()), static_cast<LONG>(ClientHeight())};
    UniqueBrush brush(::CreateSolidBrush(ResolveColour(settings_.BackColor)));
    ::FillRect(picture_.get(), &rc, brush.get());
}

void ControlSite::SetForeColor(uint32_t colour) {
    foreColor_ = colour;
    ::SetTextColor(picture_.get(), ResolveColour(colour));
}

void ControlSite::SetFont(const FontRef& font) {
    if (!font) throw Error(ErrorNumber::ObjectRequired, L"Object required: font");
    font_ = font;
    ApplyFont();
}

void ControlSite::ApplyFont() {
    const FontDesc& d = font_->Desc();
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(std::lround(d.Size * Dpi() / 72.0));
    lf.lfWeight = d.Weight;
    lf.lfItalic = d.Italic;
    lf.lfUnderline = d.Underline;
    lf.lfStrikeOut = d.Strikethrough;
    lf.lfCharSet = static_cast<BYTE>(d.Charset);
    lf.lfQuality = CLEARTYPE_QUALITY;
    wcsncpy_s(lf.lfFaceName, d.Name.c_str(), _TRUNCATE);
    UniqueFont created(::CreateFontIndirectW(&lf));
    if (!created) throw Error(ErrorNumber::Platform, L"Cannot create the font " + d.Name);
    picture_.Select(std::move(created));
    if (hwnd_) ::SendMessageW(hwnd_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(picture_.Font()), FALSE);
}

int32_t ControlSite::OuterWidthTwips() const {
    RECT rc{};
    ::GetWindowRect(hwnd(), &rc);
    return static_cast<int32_t>(std::lround((rc.right - rc.left) * 1440.0 / Dpi()));
}

int32_t ControlSite::OuterHeightTwips() const {
    RECT rc{};
    ::GetWindowRect(hwnd(), &rc);
    return static_cast<int32_t>(std::lround((rc.bottom - rc.top) * 1440.0 / Dpi()));
}

void ControlSite::SetOuterWidthTwips(int32_t twips) {
    if (twips < 0) throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: width");
    RECT rc{};
    ::GetWindowRect(hwnd(), &rc);
    const int px = static_cast<int>(std::lround(twips * Dpi() / 1440.0));
    ::SetWindowPos(hwnd(), nullptr, 0, 0, px, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ControlSite::SetOuterHeightTwips(int32_t twips) {
    if (twips < 0) throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: height");
    RECT rc{};
    ::GetWindowRect(hwnd(), &rc);
    const int px = static_cast<int>(std::lround(twips * Dpi() / 1440.0));
    ::SetWindowPos(hwnd(), nullptr, 0, 0, rc.right - rc.left, px, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double ControlSite::Scale(double value, int32_t fromScale, int32_t toScale) const {
    const UINT dpi = Dpi();
    return value * TwipsPerUnit(fromScale, dpi) / TwipsPerUnit(toScale, dpi);
}

void ControlSite::SetEnabled(bool enabled) { ::EnableWindow(hwnd(), enabled ? TRUE : FALSE); }

void ControlSite::PropertyChanged(const std::wstring& propertyName) {
    RefreshWindowText();
    if (settings_.OnPropertyChanged) settings_.OnPropertyChanged(propertyName);
}

void ControlSite::RefreshWindowText() {
    if (!hwnd_) return;
    const std::wstring text = control_->AccessibleName();
    if (text != WindowText(hwnd())) ::SetWindowTextW(hwnd(), text.c_str());
}

void ControlSite::ResizePicture() {
    const int w = std::max(1, static_cast<int>(ClientWidth()));
    const int h = std::max(1, static_cast<int>(ClientHeight()));
    WindowDc screen(hwnd());
    if (!picture_) {
        picture_ = MemoryCanvas(screen.get());
        if (!picture_) throw Error(ErrorNumber::Platform, L"Cannot create the control's picture");
        ::SetBkMode(picture_.get(), TRANSPARENT);
    }
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
    if (!bitmap) return;  // keep the old picture; drawing then clips to it
    {
        // Carry the old picture over, so a resize shows no hole until the control redraws.
        UniqueMemoryDc copyDc(::CreateCompatibleDC(screen.get()));
        SelectedObject selected(copyDc.get(), bitmap.get());
        RECT all{0, 0, w, h};
        UniqueBrush brush(::CreateSolidBrush(ResolveColour(settings_.BackColor)));
        ::FillRect(copyDc.get(), &all, brush.get());
        if (picture_.Bitmap()) ::BitBlt(copyDc.get(), 0, 0, w, h, picture_.get(), 0, 0, SRCCOPY);
    }
    picture_.Select(std::move(bitmap));
}

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
            if (msg == WM_LBUTTONDOWN && ::GetFocus() != hwnd()) ::SetFocus(hwnd());
            if (!capturing_) {
                ::SetCapture(hwnd());
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

void ControlSite::KeyNotification(UINT msg, int16_t key) {
    int16_t shift = ShiftFromKeyboard();  // Alt is in it for the keys that come with Alt
    if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
        if (std::find(heldKeys_.begin(), heldKeys_.end(), key) == heldKeys_.end()) heldKeys_.push_back(key);
        Deliver([&] { control_->KeyDown(key, shift); });
    } else {
        std::erase(heldKeys_, key);
        Deliver([&] { control_->KeyUp(key, shift); });
    }
}

void ControlSite::ForgetKeysReleasedElsewhere() {
    // A modal loop run by the default handling (the window menu) takes the key releases
    // meant for the control, and the control would keep a Space press armed for good.
    // The keyboard was away from the control meanwhile: it hears that as the focus going
    // and coming back, which ends a press without a Click.
    const bool released = std::any_of(heldKeys_.begin(), heldKeys_.end(),
                                      [](int16_t key) { return ::GetKeyState(static_cast<uint16_t>(key)) >= 0; });
    if (!released || !hwnd_) return;
    heldKeys_.clear();
    Deliver([&] { control_->LostFocus(); });
    if (::GetFocus() == hwnd()) Deliver([&] { control_->GotFocus(); });
}

LRESULT ControlSite::HandleMessage(HWND self, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCCREATE:
            hwnd_.reset(self);  // the site owns its window from here on
            break;
        case WM_ERASEBKGND:
            return 1;  // the picture covers everything
        case WM_PAINT: {
            PaintDc paint(self);
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
        case WM_SYSKEYUP: {
            KeyNotification(msg, static_cast<int16_t>(wParam));
            if (msg == WM_KEYDOWN || msg == WM_KEYUP) return 0;
            // Keys with Alt (and F10) keep their system meaning once the control has
            // heard them: Alt+F4 closes the form, Alt alone or F10 enters menu mode.
            const LRESULT r = ::DefWindowProcW(self, msg, wParam, lParam);
            ForgetKeysReleasedElsewhere();
            return r;
        }
        case WM_SYSCHAR: {
            // Alt+Space opens the form's window menu here, whose loop takes the keys
            // until it closes.
            const LRESULT r = ::DefWindowProcW(self, msg, wParam, lParam);
            ForgetKeysReleasedElsewhere();
            return r;
        }
        case WM_SETFOCUS:
            heldKeys_.clear();
            Deliver([&] { control_->GotFocus(); });
            return 0;
        case WM_KILLFOCUS:
            heldKeys_.clear();  // their releases go to the new focus
            Deliver([&] { control_->LostFocus(); });
            return 0;
        case WM_GETOBJECT:
            // Screen readers: the control answers as a push button named by its window
            // text; its default action is the access key's, which clicks it.
            if (static_cast<LONG>(lParam) == static_cast<LONG>(OBJID_CLIENT)) {
                const LRESULT r = AnswerAccessibleButton(self, wParam, [this] { DeliverAccessKey(L'\0'); });
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
