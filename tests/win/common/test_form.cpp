#include "tests/win/common/test_form.h"

#include <thread>

#include "win32/window_class.h"

namespace testing_support {

TestForm::TestForm(int clientWidth, int clientHeight, bool mdiChild) {
    // The form only holds controls: the system's default handling is all it needs.
    win32::RegisterWindowClass(L"DorvaneTestForm", &::DefWindowProcW,
                              {.Background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)});
    RECT rc{0, 0, clientWidth, clientHeight};
    ::AdjustWindowRectEx(&rc, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, L"DorvaneTestForm", L"Dorvane test form",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, rc.right - rc.left, rc.bottom - rc.top,
                              nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    container_ = std::make_unique<host::FormContainer>(hwnd_, mdiChild);
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
    Pump(std::chrono::milliseconds(20));
}

TestForm::~TestForm() {
    container_->TerminateAll();
    container_.reset();
    ::DestroyWindow(hwnd_);
    Pump(std::chrono::milliseconds(10));
}

host::ControlSite& TestForm::AddButton(const std::wstring& name, RECT bounds, const host::PropertyBag* saved,
                                       bool userMode, host::Status* status) {
    host::SiteSettings settings;
    settings.Name = name;
    settings.Bounds = bounds;
    settings.UserMode = userMode;
    host::ControlSite& site = container_->AddControl(std::make_unique<xpbutton::XPButton2>(), settings);
    host::Status s = site.Load(saved);
    if (status) *status = s;
    return site;
}

void TestForm::Activate() {
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::SetActiveWindow(hwnd_);
    Pump(std::chrono::milliseconds(30));
}

void Pump(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    do {
        host::DoEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
}

bool PumpUntil(const std::function<bool()>& predicate, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        host::DoEvents();
        if (predicate()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

COLORREF PicturePixel(const host::ControlSite& site, int x, int y) { return ::GetPixel(site.PictureDc(), x, y); }

COLORREF ScreenPixel(HWND hwnd, int x, int y) {
    win32::WindowDc dc(hwnd);
    return ::GetPixel(dc.get(), x, y);
}

namespace {
constexpr COLORREF kMarkColour = 0x00FF00FF;  // magenta: no look of the button uses it
}  // namespace

COLORREF FacePixel(const host::ControlSite& site) {
    const int w = static_cast<int>(site.ScaleWidth());
    return PicturePixel(site, w / 2, 1);
}

COLORREF ExpectedFace(int32_t state) {
    switch (state) {
        case xpbutton::STATE_DISABLED:
            return xpbutton::FACE_DISABLED;
        case xpbutton::STATE_NORMAL:
            return 0xFFFFFF;
        case xpbutton::STATE_FOCUSED:
            return 0xFFE7CE;
        case xpbutton::STATE_HOT:
            return 0xCEF3FF;
        default:
            return xpbutton::FACE_PRESSED;
    }
}

void MarkFace(const host::ControlSite& site) {
    const int w = static_cast<int>(site.ScaleWidth());
    ::SetPixel(site.PictureDc(), w / 2, 1, kMarkColour);
}

bool Redrawn(const host::ControlSite& site) { return FacePixel(site) != kMarkColour; }

void ParkCursor() { ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 2, ::GetSystemMetrics(SM_CYSCREEN) - 2); }

GuiCounts CurrentGuiCounts() {
    HANDLE self = ::GetCurrentProcess();
    return GuiCounts{::GetGuiResources(self, GR_USEROBJECTS), ::GetGuiResources(self, GR_GDIOBJECTS)};
}

host::PropertyBag ButtonBag(const std::wstring& caption) {
    host::PropertyBag bag;
    bag.Set(L"Caption", caption);
    bag.Set(L"Font", host::FontObject::Create(host::FontDesc{}));
    return bag;
}

}  // namespace testing_support
