// XPButton2: an owner-drawn push button with five looks (disabled, normal,
// focused/default, hot, pressed), mouse and keyboard handling, persisted properties,
// and hooks on its own window (mouse leave) and its form's window (activation).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "controls/xpbutton/xp_button_render.h"
#include "host/control_site.h"
#include "host/user_control.h"
#include "subclass/window_hook.h"

namespace xpbutton {

// The events the button raises to its host, synchronously, arguments by reference.
struct XPButton2Events {
    std::function<void()> Click;
    std::function<void()> DblClick;
    std::function<void(int16_t& Button, int16_t& Shift, float& X, float& y)> MouseMove;
    std::function<void(int32_t& State)> FormActivate;
};

// The description design tools show for FocusRect.
inline constexpr wchar_t FOCUSRECT_DESCRIPTION[] =
    L"Displays a rect inside button border when the control has the focus.";

class XPButton2 : public host::UserControl, public subclass::ISubclassOwner {
public:
    XPButton2();
    ~XPButton2() override;

    std::wstring TypeName() const override { return L"XPButton2"; }
    std::wstring AccessibleName() const override;

    // Public members.
    void zSubclass_Proc(bool bBefore, bool& bHandled, LRESULT& lReturn, HWND& lng_hWnd, UINT& uMsg, WPARAM& wParam,
                        LPARAM& lParam) override;
    void SnapMouseTo();
    HWND Hwnd() const { return m_hWnd; }
    void SetCaption(const std::wstring& NewValue);
    const std::wstring& Caption() const { return m_sCaption; }
    void SetEnabled(bool NewValue);
    bool Enabled() const { return m_bEnabled; }
    host::FontRef Font() const { return pFONT; }
    void SetFont(const host::FontRef& NewValue);
    void SetForeColor(int32_t NewValue);
    int32_t ForeColor() const { return m_lForeColor; }
    void SetFocusRect(bool NewValue);
    bool FocusRect() const { return m_bFocusRect; }

    XPButton2Events Events;

    // Lifecycle and input notifications from the container.
    void Initialize() override;
    void InitProperties() override;
    void ReadProperties(host::PropertyBag& PropBag) override;
    void WriteProperties(host::PropertyBag& PropBag) override;
    void AmbientChanged(const std::wstring& PropertyName) override;
    void SystemColorsChanged() override;
    void Terminate() override;
    void Resize() override;
    void MouseDown(int16_t& Button, int16_t& Shift, float& X, float& Y) override;
    void MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y) override;
    void MouseMove(int16_t& Button, int16_t& Shift, float& X, float& Y) override;
    void DblClick() override;
    void KeyDown(int16_t& KeyCode, int16_t& Shift) override;
    void KeyUp(int16_t& KeyCode, int16_t& Shift) override;
    void GotFocus() override;
    void LostFocus() override;
    void AccessKeyPress(int16_t& KeyAscii) override;

    // Read-only views of the state, for the host's tests and diagnostics.
    struct Flags {
        bool NoRedraw, MouseOver, Focused, Pressed, MouseDown, SpaceDown, FormActive, Default;
        int16_t LastButton;
        int32_t State;
        HWND ParentWindow;
    };
    Flags GetFlags() const;
    const ButtonColors& Colors() const { return m_tColors; }
    const subclass::WindowHooks& Hooks() const { return m_Hooks; }
    std::wstring ParseAccessKey() const;

    // The drawing routine, reachable for the host's tests (the control calls it itself).
    void DrawButton(int32_t state);

private:
    void InitColors();
    void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
    void FillSolid(const DrawRect& rect, uint32_t colour);
    void DrawGradient(const DrawRect& rect, uint32_t topColour, uint32_t bottomColour);
    void DrawHighContrastFrame(int32_t s, int32_t W, int32_t H);  // border and face in High Contrast
    void pFONT_FontChanged(const std::wstring& PropertyName);
    void TrackMouseLeave(HWND hWnd);
    void Show(int32_t state);  // draws only when the state differs from m_lState
    void RaiseClick();

    // Which look the flags call for, and how it is put up: Show repaints only when the look
    // differs from the one last drawn, Draw always repaints. One rule, RestingLook, and
    // each event's own exceptions beside it (xp_button_input.cpp); none means nothing is
    // painted.
    enum class Paint { Show, Draw };
    struct LookChoice {
        int32_t State;
        Paint How;
    };
    void PutLook(const std::optional<LookChoice>& look);
    LookChoice RestingLook(bool focused) const;
    LookChoice PointerLook() const;
    LookChoice KeyReleaseLook() const;
    std::optional<LookChoice> MouseReleaseLook() const;
    std::optional<LookChoice> FocusGainedLook() const;
    std::optional<LookChoice> ActivatedLook() const;
    LookChoice InactiveLook() const;
    std::optional<LookChoice> LeaveLook() const;
    LookChoice PropertyLook() const;

    int32_t HookWindow(HWND hWnd) { return m_Hooks.HookWindow(hWnd); }
    void HookMessage(HWND hWnd, UINT uMsg, int32_t When) { m_Hooks.HookMessage(hWnd, uMsg, When); }
    void UnhookWindow(HWND hWnd) { m_Hooks.UnhookWindow(hWnd); }

    int16_t m_nLastButton = 0;
    bool m_bNoRedraw = false;
    bool m_bPressed = false;
    bool m_bFocused = false;
    bool m_bMouseOver = false;
    bool m_bFormActive = false;
    bool m_bSpaceDown = false;
    bool m_bMouseDown = false;
    bool m_bDefault = false;
    HWND m_hWndParent = nullptr;
    int32_t m_lState = STATE_DISABLED;
    HWND m_hWnd = nullptr;
    std::wstring m_sCaption;
    bool m_bEnabled = false;
    int32_t m_lForeColor = 0;
    bool m_bFocusRect = false;
    host::FontRef pFONT;
    host::FontSubscription m_FontSubscription;
    ButtonColors m_tColors{};
    subclass::WindowHooks m_Hooks;
    SIZE m_RegionSize{-1, -1};  // the size the window's region was last made for (none yet)
};

}  // namespace xpbutton
