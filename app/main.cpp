// Dorvane: detaches a SQL Server database so that its .MDF/.LDF files can be copied.
#include <windows.h>

#include <commctrl.h>

#include "app/main_window.h"
#include "app/start_steps.h"
#include "host/error.h"
#include "win32/win_handles.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int nCmdShow) {
    app::start_steps::Mark(app::start_steps::ProcessStart);
    // DLLs loaded by name come from the system folder and from the folders added for a
    // driver's own DLLs (db::Connection), never from the program's folder or the current
    // one. Set before any DLL but the program's imports (Windows' known DLLs, which always
    // come from the system folder) is loaded by name: comctl32, delay-loaded for this, loads
    // at InitCommonControlsEx below, and uxtheme with it. Windows 7 has the call only with
    // KB2533623; without it the current folder at least is taken out of the search.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto set =
        win32::ProcAddress<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (!set || !set(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS)) ::SetDllDirectoryW(L"");
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    app::start_steps::Mark(app::start_steps::CommonControls);
    // No COM here: the open dialog initialises it on its first use, so a start that never
    // opens the dialog never loads it.
    int code = 1;
    try {
        const host::DesignNode design = app::Form1::LoadDesign(instance);
        app::start_steps::Mark(app::start_steps::DesignRead);
        auto form = app::Form1::Create(instance, design, nCmdShow);
        code = form->Run();
    } catch (const host::Error& e) {
        ::MessageBoxW(nullptr, e.Description().c_str(), L"Dorvane", MB_OK);
    }
    return code;
}
