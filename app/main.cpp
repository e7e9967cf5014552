// Dorvane: detaches a SQL Server database so that its .MDF/.LDF files can be copied.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "host_error.h"
#include "main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int nCmdShow) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // picture decoding, dialogs
    int code = 1;
    try {
        auto form = app::Form1::Create(instance, app::Form1::LoadDesign(instance), nCmdShow);
        code = form->Run();
    } catch (const host::Error& e) {
        ::MessageBoxW(nullptr, e.Description().c_str(), L"Dorvane", MB_OK);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return code;
}
