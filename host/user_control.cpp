#include "host/user_control.h"

#include "host/control_site.h"

namespace host {

ControlSite& UserControl::Site() const {
    if (!site_) throw Error(ErrorNumber::ObjectRequired, L"Object required: the control is not sited");
    return *site_;
}

std::wstring UserControl::Name() const { return site_ ? site_->Name() : std::wstring(); }

HWND UserControl::SurfaceHwnd() const { return Site().Hwnd(); }
HDC UserControl::SurfaceHdc() const { return Site().PictureDc(); }
double UserControl::ScaleWidth() const { return Site().ScaleWidth(); }
double UserControl::ScaleHeight() const { return Site().ScaleHeight(); }
void UserControl::Cls() { Site().Cls(); }
void UserControl::SetForeColor(uint32_t colour) { Site().SetForeColor(colour); }
uint32_t UserControl::ForeColorOfSurface() const { return Site().ForeColor(); }
void UserControl::SetSurfaceFont(const FontRef& font) { Site().SetFont(font); }
FontRef UserControl::SurfaceFont() const { return Site().Font(); }
int32_t UserControl::Width() const { return Site().Width(); }
int32_t UserControl::Height() const { return Site().Height(); }
void UserControl::SetWidth(int32_t twips) { Site().SetWidth(twips); }
void UserControl::SetHeight(int32_t twips) { Site().SetHeight(twips); }

double UserControl::ScaleX(double width, int32_t fromScale, int32_t toScale) const {
    return Site().Scale(width, fromScale, toScale);
}

double UserControl::ScaleY(double height, int32_t fromScale, int32_t toScale) const {
    return Site().Scale(height, fromScale, toScale);
}

void UserControl::SetSurfaceEnabled(bool enabled) { Site().SetEnabled(enabled); }
void UserControl::SetAccessKeys(const std::wstring& keys) { Site().SetAccessKeys(keys); }
void UserControl::PropertyChanged(const std::wstring& propertyName) { Site().PropertyChanged(propertyName); }

bool UserControl::AmbientUserMode() const { return Site().Settings().UserMode; }
bool UserControl::AmbientDisplayAsDefault() const { return Site().Settings().DisplayAsDefault; }
std::wstring UserControl::ExtenderName() const { return Site().Name(); }

IParent& UserControl::Parent() const {
    IParent* parent = Site().Settings().Parent;
    if (!parent) throw Error(ErrorNumber::ObjectRequired, L"Object required: the control has no parent");
    return *parent;
}

void UserControl::SendKeys(const std::wstring& keys) { host::SendKeys(keys); }
void UserControl::DoEvents() { host::DoEvents(); }

}  // namespace host
