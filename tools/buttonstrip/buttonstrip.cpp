// buttonstrip: draws the five looks of XPButton2 at the main window's three button
// sizes with its captions and writes them as one PNG picture (rows = sizes, columns =
// looks). Real controls in a real host draw every cell; the picture is a copy of each
// control's own off-screen surface taken right after the look was drawn.
//
//   buttonstrip.exe [OUT.png] [--high-contrast-black | --high-contrast-white]
//
// OUT.png defaults to xpbutton-looks.png. With a High Contrast option the looks are
// drawn as in that scheme: its system colours are set for the run (and put back), and
// High Contrast is reported on.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/text.h"
#include "controls/xpbutton/xp_button.h"
#include "host/control_site.h"
#include "host/form_container.h"
#include "win32/high_contrast_scheme.h"
#include "win32/memory_canvas.h"
#include "win32/win_handles.h"
#include "win32/window_class.h"
#include "tools/buttonstrip/png_writer.h"

namespace buttonstrip {

namespace {

struct Row {
    const wchar_t* Caption;
    int W, H;
};

// The main window's buttons: caption and size in pixels at 96 dpi.
constexpr Row kRows[] = {{L"打开数据库文件", 105, 25}, {L"分离", 97, 33}, {L"退出", 89, 25}};
constexpr const wchar_t* kLookNames[] = {L"0 disabled", L"1 normal", L"2 focused", L"3 hot", L"4 pressed"};
static_assert(std::size(kLookNames) == xpbutton::kLookCount, "one name for each look");

constexpr int kLabelWidth = 64;    // row labels on the left
constexpr int kHeaderHeight = 20;  // look names on top
constexpr int kCellWidth = 121;    // widest button plus a margin
constexpr int kCellPad = 6;

int RowTop(int row) {
    int y = kHeaderHeight;
    for (int r = 0; r < row; ++r) y += kRows[r].H + 2 * kCellPad;
    return y;
}

int CellLeft(int look) { return kLabelWidth + look * kCellWidth + kCellPad; }

win32::UniqueWindow CreateForm(int width, int height) {
    // The form only holds the buttons: the system's default handling is all it needs.
    constexpr wchar_t kClassName[] = L"DorvaneButtonStrip";
    if (!win32::RegisterWindowClass(kClassName, &::DefWindowProcW,
                                   {.Background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)}))
        throw std::runtime_error("cannot register the strip's window class");
    RECT rc{0, 0, width, height};
    ::AdjustWindowRectEx(&rc, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    HWND hwnd = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"XPButton2 looks",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 20, 20, rc.right - rc.left, rc.bottom - rc.top,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) throw std::runtime_error("cannot create the strip's window");
    ::ShowWindow(hwnd, SW_SHOW);
    ::UpdateWindow(hwnd);
    return win32::UniqueWindow(hwnd);
}

void PumpFor(int milliseconds) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        host::DoEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

// A 32-bit top-down picture the cells are copied into.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        win32::UniqueBitmap bitmap(::CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &bits_, nullptr, 0));
        if (!dc_ || !bitmap) throw std::runtime_error("cannot create the strip's picture");
        dc_.Select(std::move(bitmap));
        RECT all{0, 0, width, height};
        ::FillRect(dc_.get(), &all, ::GetSysColorBrush(COLOR_BTNFACE));
    }

    HDC Dc() const { return dc_.get(); }

    void Label(const wchar_t* text, RECT where, UINT format) {
        ::SetBkMode(dc_.get(), TRANSPARENT);
        ::SetTextColor(dc_.get(), ::GetSysColor(COLOR_BTNTEXT));
        win32::SelectedObject font(dc_.get(), ::GetStockObject(DEFAULT_GUI_FONT));
        ::DrawTextW(dc_.get(), text, -1, &where, format | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }

    Picture Take() const {
        ::GdiFlush();
        Picture p;
        p.Width = width_;
        p.Height = height_;
        const auto* px = static_cast<const uint32_t*>(bits_);
        p.Pixels.assign(px, px + static_cast<size_t>(width_) * height_);
        return p;
    }

private:
    int width_, height_;
    win32::MemoryCanvas dc_{nullptr};  // compatible with the screen
    void* bits_ = nullptr;
};

Picture DrawStrip() {
    const int width = kLabelWidth + xpbutton::kLookCount * kCellWidth;
    const int height = RowTop(static_cast<int>(std::size(kRows)));
    win32::UniqueWindow form = CreateForm(width, height);
    Canvas canvas(width, height);
    for (int look = 0; look < xpbutton::kLookCount; ++look)
        canvas.Label(kLookNames[look], RECT{CellLeft(look), 0, CellLeft(look) + kCellWidth - kCellPad, kHeaderHeight},
                     DT_LEFT);

    auto container = std::make_unique<host::FormContainer>(form.get());
    int number = 0;
    for (int row = 0; row < static_cast<int>(std::size(kRows)); ++row) {
        const Row& r = kRows[row];
        const int top = RowTop(row) + kCellPad;
        const std::wstring size = std::to_wstring(r.W) + L"\u00D7" + std::to_wstring(r.H);
        canvas.Label(size.c_str(), RECT{4, top, kLabelWidth, top + r.H}, DT_LEFT);
        for (int look = 0; look < xpbutton::kLookCount; ++look) {
            host::SiteSettings settings;
            settings.Name = L"XPButton2" + std::to_wstring(++number);
            settings.Bounds = RECT{CellLeft(look), top, CellLeft(look) + r.W, top + r.H};
            host::ControlSite& site = container->AddControl(std::make_unique<xpbutton::XPButton2>(), settings);
            host::PropertyBag bag;  // as the main window's design stores its buttons
            bag.Set(L"Caption", std::wstring(r.Caption));
            bag.Set(L"Font", host::FontObject::Create(host::FontDesc{}));  // Verdana 8.25 pt
            if (auto status = site.Load(&bag))
                throw std::runtime_error(base::ToUtf8(settings.Name + L" did not load: " + status->Description()));
            auto& button = site.ControlAs<xpbutton::XPButton2>();
            switch (look) {
                case xpbutton::STATE_DISABLED:
                    button.SetEnabled(false);
                    break;
                case xpbutton::STATE_FOCUSED:
                    // The focus puts m_bFocused, and with FocusRect the dotted rectangle.
                    ::SetForegroundWindow(form.get());
                    ::SetFocus(site.Hwnd());
                    PumpFor(30);
                    if (!button.GetFlags().Focused) throw std::runtime_error("a button did not take the focus");
                    button.DrawButton(xpbutton::STATE_FOCUSED);
                    break;
                default:
                    button.DrawButton(look);
                    break;
            }
            if (button.GetFlags().State != look) throw std::runtime_error("a button did not show its look");
            // The control's surface right now, before anything else can repaint it.
            ::BitBlt(canvas.Dc(), settings.Bounds.left, settings.Bounds.top, r.W, r.H, site.PictureDc(), 0, 0, SRCCOPY);
        }
    }
    PumpFor(50);
    Picture picture = canvas.Take();
    container->TerminateAll();
    container.reset();
    return picture;
}

}  // namespace

}  // namespace buttonstrip

int wmain(int argc, wchar_t** argv) {
    const std::wstring out = argc > 1 ? argv[1] : L"xpbutton-looks.png";
    const std::wstring look = argc > 2 ? argv[2] : L"";
    std::optional<win32::HighContrastScheme> scheme;
    if (look == L"--high-contrast-black") scheme.emplace(win32::HighContrastScheme::kBlack);
    if (look == L"--high-contrast-white") scheme.emplace(win32::HighContrastScheme::kWhite);
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "buttonstrip: COM did not start\n");
        return 1;
    }
    int rc = 0;
    try {
        const buttonstrip::Picture picture = buttonstrip::DrawStrip();
        buttonstrip::WritePng(out, picture);
        std::fprintf(stdout, "buttonstrip: wrote %dx%d pixels to %ls\n", picture.Width, picture.Height, out.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "buttonstrip: %s\n", e.what());
        rc = 1;
    }
    ::CoUninitialize();
    return rc;
}
