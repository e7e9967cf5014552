// Test fixtures for Windows tests: a real top-level window with a control container on
// it, message pumping with a time bound, pixels of a control's picture, object counts.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "controls/xpbutton/xp_button.h"
#include "host/form_container.h"
#include "host/property_bag.h"

namespace testing_support {

// A visible top-level window (class "DorvaneTestForm") that hosts controls; destroyed
// with the object.
class TestForm {
public:
    explicit TestForm(int clientWidth = 400, int clientHeight = 300, bool mdiChild = false);
    ~TestForm();
    TestForm(const TestForm&) = delete;
    TestForm& operator=(const TestForm&) = delete;

    HWND Hwnd() const { return hwnd_; }
    host::FormContainer& Container() { return *container_; }

    // Sites an XPButton2 at the given pixel bounds and loads it: from `saved` when given
    // (ReadProperties), otherwise as a new instance (InitProperties).
    host::ControlSite& AddButton(const std::wstring& name, RECT bounds, const host::PropertyBag* saved,
                                 bool userMode = true, host::Status* status = nullptr);
    static xpbutton::XPButton2& ButtonOf(host::ControlSite& site) { return site.ControlAs<xpbutton::XPButton2>(); }

    // Brings the window to the front and makes it the active window.
    void Activate();

private:
    HWND hwnd_ = nullptr;
    std::unique_ptr<host::FormContainer> container_;
};

// Dispatches messages (through the form pre-translators) for the given time.
void Pump(std::chrono::milliseconds duration = std::chrono::milliseconds(50));
// Pumps until the predicate holds or the time is up; returns the predicate's last value.
bool PumpUntil(const std::function<bool()>& predicate, std::chrono::milliseconds limit = std::chrono::seconds(5));

// A pixel of a control's off-screen picture, 0x00BBGGRR.
COLORREF PicturePixel(const host::ControlSite& site, int x, int y);
// A pixel as shown on the screen (window DC of the control).
COLORREF ScreenPixel(HWND hwnd, int x, int y);

// The looks told apart by one pixel: the middle of the row just inside the top border is
// white, blue, amber, the pressed grey or the disabled face, one per look. MarkFace
// overwrites it with a colour no look uses, so Redrawn tells whether a repaint ran since.
COLORREF FacePixel(const host::ControlSite& site);
COLORREF ExpectedFace(int32_t state);
void MarkFace(const host::ControlSite& site);
bool Redrawn(const host::ControlSite& site);

// Puts the pointer in the screen's far corner, away from every test window.
void ParkCursor();

// USER and GDI objects of this process.
struct GuiCounts {
    DWORD User = 0, Gdi = 0;
    bool operator==(const GuiCounts&) const = default;
};
GuiCounts CurrentGuiCounts();

// The stored properties of a button as the form design gives them.
host::PropertyBag ButtonBag(const std::wstring& caption);

}  // namespace testing_support
