// The container's side of one hosted user control: its surface window (class named
// after the control's type, made through win32/window_class.h) with an off-screen picture
// (a win32::MemoryCanvas), its ambient properties, extender and parent, delivery of
// notifications, and routing of the window's input.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "host/error.h"
#include "win32/memory_canvas.h"
#include "host/user_control.h"
#include "win32/win_handles.h"
#include "win32/window_class.h"

namespace host {

using Status = std::optional<Error>;  // empty: the notification succeeded

struct SiteSettings {
    std::wstring Name;                // the extender's Name
    IParent* Parent = nullptr;        // the hosting form, not owned
    HWND ParentWindow = nullptr;      // the window the surface is a child of
    RECT Bounds{0, 0, 82, 27};        // pixels in the parent's client area
    bool UserMode = true;             // ambient UserMode
    bool DisplayAsDefault = false;    // ambient DisplayAsDefault
    uint32_t BackColor = 0x8000000F;  // button face
    std::function<void(const std::wstring&)> OnPropertyChanged;
};

class ControlSite {
public:
    // Creates the surface window and sites the control; raises host::Error when the
    // window cannot be created.
    static std::unique_ptr<ControlSite> Create(std::unique_ptr<UserControl> control, SiteSettings settings);
    ~ControlSite();
    ControlSite(const ControlSite&) = delete;
    ControlSite& operator=(const ControlSite&) = delete;

    // Lifecycle, in the container's order: Initialize, then ReadProperties from the saved
    // bag (or InitProperties when there is none), then one Resize for the placed size.
    Status Load(const PropertyBag* saved);
    Status Save(PropertyBag& bag);           // WriteProperties plus the extents "_extentx"/"_extenty"
    Status SetDisplayAsDefault(bool value);  // ambient change, then AmbientChanged
    Status NotifyAmbientChanged(const std::wstring& propertyName);
    void Terminate();      // once; quiet
    void DestroyWindow();  // Terminate, then the surface window goes

    HWND Hwnd() const { return hwnd_.get(); }
    UserControl& Control() const { return *control_; }
    template <typename T>
    T& ControlAs() const {
        return dynamic_cast<T&>(*control_);
    }
    const std::wstring& Name() const { return settings_.Name; }
    bool Terminated() const { return terminated_; }
    const std::wstring& AccessKeys() const { return accessKeys_; }
    bool WantsAccessKey(wchar_t key) const;

    // The last error a notification delivered from a window message ended with.
    const Status& LastError() const { return lastError_; }

    // Used by UserControl's services.
    HDC PictureDc() const { return picture_.get(); }
    double ScaleWidth() const;
    double ScaleHeight() const;
    void Cls();
    void SetForeColor(uint32_t colour);
    uint32_t ForeColor() const { return foreColor_; }
    void SetFont(const FontRef& font);
    FontRef Font() const { return font_; }
    int32_t Width() const;
    int32_t Height() const;
    void SetWidth(int32_t twips);
    void SetHeight(int32_t twips);
    double Scale(double value, int32_t fromScale, int32_t toScale) const;
    void SetEnabled(bool enabled);
    void SetAccessKeys(const std::wstring& keys) { accessKeys_ = keys; }
    void PropertyChanged(const std::wstring& propertyName);
    const SiteSettings& Settings() const { return settings_; }
    UINT Dpi() const;

    // Delivers an access key as the container does: focus to the control, then the
    // notification. Nothing while the form holds its input off (InputHold).
    void DeliverAccessKey(wchar_t key);
    // A modal loop of the form starts (FormContainer hears of it): a press under way ends
    // without a Click, and the keys held meanwhile are no longer the control's.
    void EndPress();

    // What screen readers get for the control (one reference for the caller): a push
    // button named by the window text, whose default action is the access key's.
    IAccessible* CreateAccessibleObject();

    // The site of any window: null unless it is a control's surface window.
    static ControlSite* FromWindow(HWND hwnd) { return win32::ObjectWindow<ControlSite>::From(hwnd); }
    static uint32_t ResolveColour(uint32_t colour);  // system-colour references to RGB

private:
    friend struct win32::ObjectWindow<ControlSite>;
    ControlSite(std::unique_ptr<UserControl> control, SiteSettings settings);
    LRESULT HandleMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    void ResizePicture();
    void ApplyFont();
    void RefreshWindowText();
    template <typename Fn>
    Status Deliver(Fn&& fn);  // a notification; its error is kept as LastError
    void MouseNotification(UINT msg, WPARAM wParam, LPARAM lParam);
    void KeyNotification(UINT msg, int16_t key, bool repeat);

    std::unique_ptr<UserControl> control_;
    SiteSettings settings_;
    win32::UniqueWindow hwnd_;
    win32::MemoryCanvas picture_;  // the surface's drawing, shown by WM_PAINT
    FontRef font_;
    uint32_t foreColor_ = 0;
    std::wstring accessKeys_;
    bool loaded_ = false;
    bool terminated_ = false;
    bool capturing_ = false;
    std::vector<int16_t> heldKeys_;  // went down on the control, release not heard yet
    Status lastError_;
};

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

// A screen reader's default action on a site's window: posted, so that the reader's
// call returns before the control is clicked.
inline constexpr UINT kDefaultActionMessage = WM_APP + 0x0D1;
void PostDefaultAction(HWND site);

// Keystrokes put into the input stream: "{TAB}", "+{TAB}", "^", "%". Their messages
// come later, through the message loop; with modifiers held by the user, the call first
// waits (at most a second) for its events to pass the system's input stream. Raises
// host::Error, with the system's description, when the system takes fewer events than
// were sent.
void SendKeys(const std::wstring& keys);
// Dispatches every message waiting in the thread's queue, through the registered
// form pre-translators (access keys, dialog navigation). Input for a form that holds its
// input off is dropped instead.
void DoEvents();

// Whether a message is input: keys, mouse, pen and touch, also where it comes posted by
// another program rather than through the input queue.
bool IsInputMessage(UINT message);

// While it lives, `form` holds its input off: its thread is waiting for work (and only
// paints and answers meanwhile), so input to it is dropped, and what acts like input does
// nothing either: a screen reader's default action on one of its controls, an access key,
// and DoEvents' dispatch of input. Its controls tell screen readers they are unavailable.
// Any thread may ask (InputHeldOff), since screen readers' calls may come on theirs.
class InputHold {
public:
    explicit InputHold(HWND form);
    ~InputHold();
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

private:
    HWND form_;
    bool set_ = false;
};
// Whether the top-level window of `window` holds its input off.
bool InputHeldOff(HWND window);

}  // namespace host
