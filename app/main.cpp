// Dorvane: detaches a SQL Server database so that its .MDF/.LDF files can be copied.
#include <windows.h>

#include <commctrl.h>

#include "app/main_window.h"
#include "host/error.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int nCmdShow) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    // No COM here: the open dialog initialises it on its first use, so a start that never
    // opens the dialog never loads it.
    int code = 1;
    try {
        auto form = app::Form1::Create(instance, app::Form1::LoadDesign(instance), nCmdShow);
        code = form->Run();
    } catch (const host::Error& e) {
        ::MessageBoxW(nullptr, e.Description().c_str(), L"Dorvane", MB_OK);
    }
    return code;
}
