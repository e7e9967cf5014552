// What a control container gives a control: the base class of a user control, with the
// notifications the container delivers and the services of its surface (a child window
// with an off-screen picture), its ambient properties, extender and parent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/font_object.h"
#include "host/property_bag.h"

namespace host {

class ControlSite;

// Anything placed on a form, as the form's Controls collection lists it.
class Control {
public:
    virtual ~Control() = default;
    virtual std::wstring TypeName() const = 0;
    virtual std::wstring Name() const = 0;
};

// The hosting form, as a control sees it (members looked up at the moment of the call:
// a parent that lacks one raises "Object doesn't support this property or method").
class IParent {
public:
    virtual HWND hwnd() = 0;
    virtual bool MDIChild() = 0;
    virtual std::vector<Control*> Controls() = 0;

protected:
    ~IParent() = default;
};

// Scale modes for ScaleX / ScaleY.
enum ScaleMode : int32_t {
    vbTwips = 1,
    vbPoints = 2,
    vbPixels = 3,
    vbInches = 5,
    vbMillimeters = 6,
    vbCentimeters = 7
};

// Modifier mask of mouse and key notifications.
enum ShiftMask : int16_t { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };
// Button codes of mouse notifications.
enum MouseButton : int16_t { vbLeftButton = 1, vbRightButton = 2, vbMiddleButton = 4 };

class UserControl : public Control {
public:
    ~UserControl() override = default;
    std::wstring Name() const override;

    // Lifecycle notifications. An exception escaping one ends it; the container returns
    // it as the notification's result.
    virtual void Initialize() {}
    virtual void InitProperties() {}
    virtual void ReadProperties(PropertyBag& /*PropBag*/) {}
    virtual void WriteProperties(PropertyBag& /*PropBag*/) {}
    virtual void AmbientChanged(const std::wstring& /*PropertyName*/) {}
    virtual void Terminate() {}
    virtual void Resize() {}
    // The system's colours changed, or High Contrast went on or off
    // (WM_SYSCOLORCHANGE, WM_SETTINGCHANGE with SPI_SETHIGHCONTRAST, passed on by the form).
    virtual void SystemColorsChanged() {}

    // Input notifications, arguments by reference; positions in pixels.
    virtual void MouseDown(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*X*/, float& /*Y*/) {}
    virtual void MouseUp(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*X*/, float& /*Y*/) {}
    virtual void MouseMove(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*X*/, float& /*Y*/) {}
    virtual void DblClick() {}
    virtual void KeyDown(int16_t& /*KeyCode*/, int16_t& /*Shift*/) {}
    virtual void KeyUp(int16_t& /*KeyCode*/, int16_t& /*Shift*/) {}
    virtual void GotFocus() {}
    virtual void LostFocus() {}
    virtual void AccessKeyPress(int16_t& /*KeyAscii*/) {}

    // The text the container shows as the control's window text (for automation and
    // screen readers); empty when the control has none.
    virtual std::wstring AccessibleName() const { return {}; }

    ControlSite& Site() const;  // raises ObjectRequired before the control is sited
    bool Sited() const { return site_ != nullptr; }

protected:
    // Surface services.
    HWND SurfaceHwnd() const;
    HDC SurfaceHdc() const;     // the off-screen picture's DC
    double ScaleWidth() const;  // client size in pixels
    double ScaleHeight() const;
    void Cls();                          // fill with the background colour
    void SetForeColor(uint32_t colour);  // system colours (high bit set) are resolved
    uint32_t ForeColorOfSurface() const;
    void SetSurfaceFont(const FontRef& font);
    FontRef SurfaceFont() const;
    int32_t Width() const;  // outer size in twips
    int32_t Height() const;
    void SetWidth(int32_t twips);
    void SetHeight(int32_t twips);
    double ScaleX(double width, int32_t fromScale = vbPixels, int32_t toScale = vbPixels) const;
    double ScaleY(double height, int32_t fromScale = vbPixels, int32_t toScale = vbPixels) const;
    void SetSurfaceEnabled(bool enabled);
    void SetAccessKeys(const std::wstring& keys);
    void PropertyChanged(const std::wstring& propertyName);

    // Container services.
    bool AmbientUserMode() const;
    bool AmbientDisplayAsDefault() const;
    std::wstring ExtenderName() const;
    IParent& Parent() const;

    // Input services.
    void SendKeys(const std::wstring& keys);  // "{TAB}", "+{TAB}"; queued, their messages come later
    void DoEvents();                          // one pass of the message loop

private:
    friend class ControlSite;
    ControlSite* site_ = nullptr;
};

}  // namespace host
