// A ControlSite's lifecycle, its delivery of notifications and the surface services a
// control uses (size, scale, colours, font, the off-screen picture); what its window's
// messages do is in site_window.cpp.
#include "host/control_site.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "base/text.h"
#include "host/accessible_button.h"
#include "win32/dpi.h"
#include "win32/units.h"

namespace host {

namespace {

double TwipsPerUnit(int32_t scale, UINT dpi) {
    switch (scale) {
        case vbTwips:
            return 1.0;
        case vbPoints:
            return win32::kTwipsPerPoint;
        case vbPixels:
            return static_cast<double>(win32::kTwipsPerInch) / dpi;
        case vbInches:
            return win32::kTwipsPerInch;
        case vbMillimeters:
            return win32::kTwipsPerInch / 25.4;
        case vbCentimeters:
            return win32::kTwipsPerInch / 2.54;
        default:
            throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: scale mode");
    }
}

// The window's outer size and its client area's size, in pixels.
SIZE OuterPixels(HWND hwnd) {
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

SIZE ClientPixels(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

void SetOuterPixels(HWND hwnd, int width, int height) {
    ::SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

ControlSite::ControlSite(std::unique_ptr<UserControl> control, SiteSettings settings)
    : control_(std::move(control)), settings_(std::move(settings)) {}

std::unique_ptr<ControlSite> ControlSite::Create(std::unique_ptr<UserControl> control, SiteSettings settings) {
    if (!control) throw Error(ErrorNumber::ObjectRequired, L"Object required");
    std::unique_ptr<ControlSite> site(new ControlSite(std::move(control), std::move(settings)));
    const std::wstring className = site->control_->TypeName();
    if (!win32::RegisterWindowClass(className.c_str(), &win32::ObjectWindow<ControlSite>::Proc, win32::ClassLook{CS_DBLCLKS}))
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
    const SIZE outer = OuterPixels(Hwnd());
    const UINT dpi = Dpi();
    bag.Set(L"_ExtentX", win32::PixelsToHimetric(outer.cx, dpi));
    bag.Set(L"_ExtentY", win32::PixelsToHimetric(outer.cy, dpi));
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
        win32::ObjectWindow<ControlSite>::Detach(hwnd_.get());
        hwnd_.reset();
    }
}

bool ControlSite::WantsAccessKey(wchar_t key) const {
    if (!::IsWindowEnabled(Hwnd())) return false;
    // The system's mapping covers every script, so Alt+Ж finds the key ж.
    const wchar_t k = base::LowerCase(key);
    for (wchar_t c : accessKeys_)
        if (base::LowerCase(c) == k) return true;
    return false;
}

IAccessible* ControlSite::CreateAccessibleObject() {
    return CreateAccessibleButton(Hwnd(), [window = Hwnd()] { PostDefaultAction(window); });
}

void ControlSite::DeliverAccessKey(wchar_t key) {
    // Dropped, as presses are, while the form waits: the click would run inside the wait.
    if (InputHeldOff(Hwnd())) return;
    if (::GetFocus() != Hwnd()) ::SetFocus(Hwnd());
    int16_t keyAscii = static_cast<int16_t>(key);
    Deliver([&] { control_->AccessKeyPress(keyAscii); });
}

UINT ControlSite::Dpi() const { return win32::dpi::ForWindow(hwnd_.get()); }

double ControlSite::ScaleWidth() const { return ClientPixels(Hwnd()).cx; }
double ControlSite::ScaleHeight() const { return ClientPixels(Hwnd()).cy; }

uint32_t ControlSite::ResolveColour(uint32_t colour) {
    if (colour & 0x80000000u) return ::GetSysColor(static_cast<int>(colour & 0xFF));
    return colour & 0x00FFFFFFu;
}

void ControlSite::Cls() {
    RECT rc{0, 0, static_cast<LONG>(ScaleWidth()), static_cast<LONG>(ScaleHeight())};
    win32::UniqueBrush brush(::CreateSolidBrush(ResolveColour(settings_.BackColor)));
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

namespace {

// Whether the font selected into dc has a glyph for every character of text.
bool HasGlyphsFor(HDC dc, const std::wstring& text) {
    if (text.empty()) return true;
    std::vector<WORD> glyphs(text.size());
    if (::GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                           GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
        return true;  // nothing to go by: the font stays
    return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
}

// Fonts that have the Chinese, Japanese and Korean characters, as Windows versions and
// languages ship them, after the system's own message font (which is one of them on an
// East Asian Windows).
constexpr const wchar_t* kEastAsianFaces[] = {L"Microsoft YaHei UI",
                                              L"Microsoft YaHei",
                                              L"Microsoft JhengHei UI",
                                              L"Microsoft JhengHei",
                                              L"Yu Gothic UI",
                                              L"Meiryo UI",
                                              L"Malgun Gothic",
                                              L"SimSun",
                                              L"PMingLiU",
                                              L"MS UI Gothic",
                                              L"Gulim"};

}  // namespace

void ControlSite::ApplyFont() {
    const FontDesc& d = font_->Desc();
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(win32::PointsToPixels(d.Size, Dpi()));
    lf.lfWeight = d.Weight;
    lf.lfItalic = d.Italic;
    lf.lfUnderline = d.Underline;
    lf.lfStrikeOut = d.Strikethrough;
    lf.lfCharSet = static_cast<BYTE>(d.Charset);
    lf.lfQuality = CLEARTYPE_QUALITY;
    wcsncpy_s(lf.lfFaceName, d.Name.c_str(), _TRUNCATE);
    win32::UniqueFont created(::CreateFontIndirectW(&lf));
    if (!created) throw Error(ErrorNumber::Platform, L"Cannot create the font " + d.Name);
    // A face without glyphs for the window text (Verdana and a Chinese caption, on a
    // Windows whose font linking does not cover Verdana) draws boxes: the text then
    // comes from the first East Asian font of the system that has them all, at the same
    // size and weight. The font object keeps its own face.
    const std::wstring text = control_ ? control_->AccessibleName() : std::wstring();
    bool covered = true;
    {
        win32::SelectedObject trial(picture_.get(), created.get());
        covered = HasGlyphsFor(picture_.get(), text);
    }
    if (!covered) {
        NONCLIENTMETRICSW ncm{};
        std::vector<std::wstring> faces;
        if (win32::dpi::NonClientMetrics(ncm, Dpi())) faces.emplace_back(ncm.lfMessageFont.lfFaceName);
        faces.insert(faces.end(), std::begin(kEastAsianFaces), std::end(kEastAsianFaces));
        for (const std::wstring& face : faces) {
            LOGFONTW other = lf;
            other.lfCharSet = DEFAULT_CHARSET;
            wcsncpy_s(other.lfFaceName, face.c_str(), _TRUNCATE);
            win32::UniqueFont candidate(::CreateFontIndirectW(&other));
            if (!candidate) continue;
            win32::SelectedObject trial(picture_.get(), candidate.get());
            if (!HasGlyphsFor(picture_.get(), text)) continue;
            created = std::move(candidate);
            break;
        }
    }
    picture_.Select(std::move(created));
    if (hwnd_) ::SendMessageW(hwnd_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(picture_.Font()), FALSE);
}

int32_t ControlSite::Width() const {
    return win32::PixelsToTwips(OuterPixels(Hwnd()).cx, Dpi());
}

int32_t ControlSite::Height() const {
    return win32::PixelsToTwips(OuterPixels(Hwnd()).cy, Dpi());
}

void ControlSite::SetWidth(int32_t twips) {
    if (twips < 0) throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: width");
    SetOuterPixels(Hwnd(), win32::TwipsToPixels(twips, Dpi()), OuterPixels(Hwnd()).cy);
}

void ControlSite::SetHeight(int32_t twips) {
    if (twips < 0) throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid procedure call or argument: height");
    SetOuterPixels(Hwnd(), OuterPixels(Hwnd()).cx, win32::TwipsToPixels(twips, Dpi()));
}

double ControlSite::Scale(double value, int32_t fromScale, int32_t toScale) const {
    const UINT dpi = Dpi();
    return value * TwipsPerUnit(fromScale, dpi) / TwipsPerUnit(toScale, dpi);
}

void ControlSite::SetEnabled(bool enabled) { ::EnableWindow(Hwnd(), enabled ? TRUE : FALSE); }

void ControlSite::PropertyChanged(const std::wstring& propertyName) {
    RefreshWindowText();
    if (settings_.OnPropertyChanged) settings_.OnPropertyChanged(propertyName);
}

void ControlSite::RefreshWindowText() {
    if (!hwnd_) return;
    const std::wstring text = control_->AccessibleName();
    if (text == win32::WindowText(Hwnd())) return;
    ::SetWindowTextW(Hwnd(), text.c_str());
    // The font that draws the text may change with it (ApplyFont); the control's next
    // repaint uses it.
    if (font_ && picture_) ApplyFont();
}

void ControlSite::ResizePicture() {
    const int w = std::max(1, static_cast<int>(ScaleWidth()));
    const int h = std::max(1, static_cast<int>(ScaleHeight()));
    win32::WindowDc screen(Hwnd());
    if (!picture_) {
        picture_ = win32::MemoryCanvas(screen.get());
        if (!picture_) throw Error(ErrorNumber::Platform, L"Cannot create the control's picture");
        ::SetBkMode(picture_.get(), TRANSPARENT);
    }
    win32::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
    if (!bitmap) return;  // keep the old picture; drawing then clips to it
    const RECT all{0, 0, w, h};
    win32::UniqueBrush brush(::CreateSolidBrush(ResolveColour(settings_.BackColor)));
    if (!picture_.Bitmap()) {
        // The first picture: only the back colour, drawn in place.
        picture_.Select(std::move(bitmap));
        ::FillRect(picture_.get(), &all, brush.get());
        return;
    }
    {
        // Carry the old picture over, so a resize shows no hole until the control redraws.
        win32::UniqueMemoryDc copyDc(::CreateCompatibleDC(screen.get()));
        win32::SelectedObject selected(copyDc.get(), bitmap.get());
        ::FillRect(copyDc.get(), &all, brush.get());
        ::BitBlt(copyDc.get(), 0, 0, w, h, picture_.get(), 0, 0, SRCCOPY);
    }
    picture_.Select(std::move(bitmap));
}

}  // namespace host
