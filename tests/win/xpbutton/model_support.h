// Helpers of the XPButton2 model tests: buttons sited with a notification recorder, the
// face pixel that tells the drawn look apart, and a mark that shows whether a repaint ran.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/xpbutton/xp_button.h"
#include "tests/win/common/test_form.h"

namespace dorvane::test {

// The PropertyChanged notifications a site sent, in order.
struct ChangeLog {
    std::vector<std::wstring> Names;
    void Clear() { Names.clear(); }
};

struct SitedButton {
    host::ControlSite* Site = nullptr;
    host::Status LoadStatus;
    xpbutton::XPButton2& Button() const { return Site->ControlAs<xpbutton::XPButton2>(); }
};

inline constexpr RECT kBounds{10, 10, 92, 37};  // 82 x 27 pixels

// Sites an XPButton2 on the form with the given settings (Parent and ParentWindow are the
// form's) and the log as its PropertyChanged listener, then loads it. The cursor is parked
// first, so the new button does not start under the pointer.
SitedButton AddLogged(testing_support::TestForm& form, const std::wstring& name, const host::PropertyBag* saved,
                      ChangeLog* log, bool userMode = true, RECT bounds = kBounds, bool displayAsDefault = false);

// The looks by their face pixel, and the pointer parked: the shared fixtures'.
using testing_support::ExpectedFace;
using testing_support::FacePixel;
using testing_support::ParkCursor;
using testing_support::Redrawn;
inline void Mark(const host::ControlSite& site) { testing_support::MarkFace(site); }

// The number of records that hook a window, and the after-table of the hook on `hwnd`
// (empty when none hooks it).
int HookedRecordCount(const xpbutton::XPButton2& button);
std::vector<UINT> AfterMessagesOf(const xpbutton::XPButton2& button, HWND hwnd);
bool Hooks(const xpbutton::XPButton2& button, HWND hwnd);

// The selected font of the site's picture.
LOGFONTW PictureFont(const host::ControlSite& site);

}  // namespace dorvane::test

// The name lifecycle_test.cpp still uses for these helpers.
namespace model_testing = dorvane::test;
