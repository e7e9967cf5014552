#include "app/open_file_dialog.h"

#include <commdlg.h>
#include <objbase.h>

#include <vector>

#include "host/error.h"

namespace app {

CommonDialog::~CommonDialog() {
    using CoUninitializeFn = void(WINAPI*)();
    if (comInitialized_)
        if (auto uninitialize = win32::ProcAddress<CoUninitializeFn>(ole32_.get(), "CoUninitialize")) uninitialize();
}

void CommonDialog::InitializeCom() {
    if (comInitialized_) return;
    if (!ole32_) ole32_.reset(win32::LoadSystemLibrary(L"ole32.dll"));
    using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
    auto initialize = win32::ProcAddress<CoInitializeExFn>(ole32_.get(), "CoInitializeEx");
    // S_FALSE (already initialised on this thread) also needs its CoUninitialize. A thread
    // initialised for another apartment keeps it; the dialog works there too, only the
    // shell's extensions may be fewer, so that case is not an error.
    comInitialized_ = initialize && SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED));
}

void CommonDialog::ShowOpen(HWND owner) {
    InitializeCom();
    if (!library_) library_.reset(win32::LoadSystemLibrary(L"comdlg32.dll"));
    using GetOpenFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW);
    auto getOpenFileName = win32::ProcAddress<GetOpenFileNameFn>(library_.get(), "GetOpenFileNameW");
    if (!getOpenFileName) throw host::Error(host::ErrorNumber::Platform, L"Cannot load the file dialog (comdlg32.dll)");

    // "a|b|c|d" becomes "a\0b\0c\0d\0\0".
    std::wstring filter = Filter;
    for (auto& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');

    // Room for long paths (the \\?\ form and paths past 260 characters).
    std::vector<wchar_t> file(32768, L'\0');
    std::vector<wchar_t> title(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrFileTitle = title.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
    ofn.lpstrInitialDir = InitDir.empty() ? nullptr : InitDir.c_str();
    ofn.Flags = OFN_EXPLORER | Flags;
    if (getOpenFileName(&ofn)) {
        fileName_ = file.data();
        fileTitle_ = title.data();
    } else {
        // Cancelled (or the dialog could not be shown): nothing was chosen.
        fileName_.clear();
        fileTitle_.clear();
    }
}

}  // namespace app
