// Form1, Dorvane's only window: built from its stored design, it shows the banner, the
// server field, the chosen data file and derived log file, the three buttons and the
// hint; its buttons' Click handlers choose a file, detach the database, or end the
// program. Its window is made through win32/window_class.h, and the design's child kinds
// are read once into ChildKind.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/background_picture.h"
#include "app/open_file_dialog.h"
#include "controls/xpbutton/xp_button.h"
#include "host/design_format.h"
#include "host/form_container.h"
#include "win32/window_class.h"
#include "win32/dpi.h"

namespace app {

inline constexpr wchar_t kForm1ClassName[] = L"DorvaneForm1";
inline constexpr wchar_t kDetachTitle[] = L"分离数据库";
inline constexpr wchar_t kDetachSucceeded[] = L"分离成功！";
// What Windows shows for Dorvane when a log-off or shutdown waits for a detach.
inline constexpr wchar_t kDetachingReason[] = L"正在分离数据库";
// Under the description of a structured exception that stopped the detach's thread; the
// program ends when the box is closed, with kAbandonedExitCode.
inline constexpr wchar_t kMustClose[] =
    L"Dorvane must close now: the detach was stopped in the middle of its work, and what it held cannot be "
    L"given back. Start Dorvane again to go on.";
inline constexpr UINT kAbandonedExitCode = 3;

// The kinds of child the design may hold, read from its "Begin <kind> <name>" lines.
enum class ChildKind { XPButton2, Label, TextBox };

// A child of the form as the design places it (twips; a button's size from its extent).
struct PlacedChild {
    ChildKind Kind = ChildKind::TextBox;
    std::wstring Name;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;  // twips
    int32_t ExtentX = 0, ExtentY = 0;                  // 0.01 mm, buttons only
    int32_t TabIndex = 0;
    HWND Window = nullptr;
    uint32_t TextColour = 0x80000012;  // button text, the default label colour
};

class Form1 {
public:
    // The stored design compiled into the program.
    static host::DesignNode LoadDesign(HINSTANCE instance);
    // Creates the window and its controls from the design and shows it. Raises
    // host::Error when the window cannot be built.
    static std::unique_ptr<Form1> Create(HINSTANCE instance, const host::DesignNode& design, int nCmdShow);
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Runs the message loop until the window is gone; returns the exit code.
    int Run();

    HWND Hwnd() const { return hwnd_; }
    UINT Dpi() const { return dpi_; }
    const std::vector<PlacedChild>& Children() const { return children_; }
    HWND ChildWindow(const std::wstring& name) const;
    host::ControlSite& Button(const std::wstring& name) const;  // a button of the design
    host::FormContainer& Container() const { return *container_; }

    // The window's state, read-only: the chosen data file, the derived log file and
    // database name.
    struct Members {
        std::wstring m, l, strdata;
    };
    Members GetMembers() const { return Members{m, l, strdata}; }

    // Click handlers of the three buttons.
    void Command2_Click();
    void Command3_Click();
    void XPButton21_Click();
    // What choosing a file does once the dialog has given its path P and title T: the
    // read-outs and the derived names (also for tests, which skip the dialog).
    void TakeChosenFile(const std::wstring& P, const std::wstring& T);

    // The session a press of 分离 runs on the work's thread, for the server text and the
    // statement: nothing on success, else the failure's description. The real one talks
    // to the server; a test may put one of its own in its place.
    using DetachSession = std::optional<std::wstring> (*)(const std::wstring& server, const std::wstring& statement);
    static std::optional<std::wstring> DetachInOneSession(const std::wstring& server, const std::wstring& statement);
    void UseDetachSession(DetachSession session) { session_ = session; }

private:
    friend struct win32::ObjectWindow<Form1>;
    struct ButtonHandler {
        const wchar_t* Name;
        void (Form1::*Click)();
    };
    static const ButtonHandler kButtonHandlers[];

    Form1() = default;
    void ConnectClick(const std::wstring& name, xpbutton::XPButton2& button);

    // The window's messages, each to its handler; no answer: the default handling's.
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnNcCreate(HWND hwnd);
    LRESULT OnEraseBackground(HDC dc);
    std::optional<LRESULT> OnCtlColorStatic(HDC dc, HWND child);
    RECT PlacedRect(HWND child) const;  // where a child is now, in client coordinates
    std::optional<LRESULT> OnActivate(bool active);
    std::optional<LRESULT> OnSetCursor();
    std::optional<LRESULT> OnClose();
    std::optional<LRESULT> OnSysCommand(UINT command);
    std::optional<LRESULT> OnQueryEndSession();
    void OnEndSession(bool ending);
    void OnColourSchemeChange(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiChanged(UINT dpi, const RECT& suggested);
    LRESULT OnDestroy();

    void BuildChildren(const host::DesignNode& design);
    void PutLabelsBeforeTheirFields();
    // Places the children for the window's DPI and sizes the window: to fit the design's
    // client area, or after a change of DPI (new fonts too) to the rectangle Windows
    // suggests, in one move.
    void Layout(const RECT* suggested);
    void ApplyFonts();
    RECT ChildRect(const PlacedChild& c) const;
    SIZE TextSize(const std::wstring& text) const;  // a label's, in the form's font
    HFONT UiFont() const;  // labels' and text fields' font
    static void SetReadOut(HWND field, const std::wstring& text);

    // Window state: the chosen data file, the derived log file and database name.
    std::wstring m, l, strdata;
    CommonDialog CommonDialog1;

    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND lastFocus_ = nullptr;
    // Busy: a press of 分离 is under way, its message box included. It only keeps a second
    // detach from starting. Waiting for the server is the part before the box: the form
    // then holds its input off (BusyWait), refuses a log-off, and shows the wait cursor.
    bool busy_ = false;
    bool WaitingForServer() const;
    DetachSession session_ = &Form1::DetachInOneSession;
    UINT dpi_ = win32::dpi::kDesign;
    int32_t clientWidth_ = 5835, clientHeight_ = 5310;  // twips
    std::vector<PlacedChild> children_;
    std::unique_ptr<host::FormContainer> container_;
    BackgroundPicture picture_;
    win32::UniqueFont uiFont_;  // empty: the stock GUI font serves
    win32::UniqueIcon bigIcon_, smallIcon_;
};

}  // namespace app
