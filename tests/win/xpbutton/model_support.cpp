#include "tests/win/xpbutton/model_support.h"

namespace dorvane::test {

SitedButton AddLogged(testing_support::TestForm& form, const std::wstring& name, const host::PropertyBag* saved,
                      ChangeLog* log, bool userMode, RECT bounds, bool displayAsDefault) {
    ParkCursor();
    host::SiteSettings settings;
    settings.Name = name;
    settings.Bounds = bounds;
    settings.UserMode = userMode;
    settings.DisplayAsDefault = displayAsDefault;
    if (log) settings.OnPropertyChanged = [log](const std::wstring& n) { log->Names.push_back(n); };
    SitedButton b;
    b.Site = &form.Container().AddControl(std::make_unique<xpbutton::XPButton2>(), std::move(settings));
    b.LoadStatus = b.Site->Load(saved);
    return b;
}

int HookedRecordCount(const xpbutton::XPButton2& button) {
    int n = 0;
    for (const auto& r : button.Hooks().Records())
        if (r.HWndHooked) ++n;
    return n;
}

bool Hooks(const xpbutton::XPButton2& button, HWND hwnd) {
    for (const auto& r : button.Hooks().Records())
        if (r.HWndHooked && r.HWndHooked == hwnd) return true;
    return false;
}

std::vector<UINT> AfterMessagesOf(const xpbutton::XPButton2& button, HWND hwnd) {
    std::vector<UINT> out;
    for (const auto& r : button.Hooks().Records()) {
        if (!r.HWndHooked || r.HWndHooked != hwnd) continue;
        const subclass::MessageTable& after = r.PStub->After();
        if (after.Count() < 0) continue;  // every message: none listed
        for (UINT msg : after.Messages())
            if (msg != 0) out.push_back(msg);
    }
    return out;
}

LOGFONTW PictureFont(const host::ControlSite& site) {
    LOGFONTW lf{};
    HGDIOBJ font = ::GetCurrentObject(site.PictureDc(), OBJ_FONT);
    ::GetObjectW(font, sizeof(lf), &lf);
    return lf;
}

}  // namespace dorvane::test
