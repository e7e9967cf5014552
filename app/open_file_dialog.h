// The file-open dialog component: one object for the window's life, reused on every
// press. Filter in the "description|pattern|..." notation; ShowOpen shows the modal
// dialog; FileName is the chosen path (empty when cancelled), FileTitle its name.
#pragma once

#include <windows.h>

#include <string>

#include "win32/win_handles.h"

namespace app {

class CommonDialog {
public:
    CommonDialog() = default;
    ~CommonDialog();
    CommonDialog(const CommonDialog&) = delete;
    CommonDialog& operator=(const CommonDialog&) = delete;

    std::wstring Filter;
    // The folder the dialog starts in (empty: the system's choice), and OFN_ flags added
    // to OFN_EXPLORER.
    std::wstring InitDir;
    DWORD Flags = 0;

    // Raises host::Error when the system's dialog library cannot be loaded.
    void ShowOpen(HWND owner);
    const std::wstring& FileName() const { return fileName_; }
    const std::wstring& FileTitle() const { return fileTitle_; }

private:
    // The dialog library and COM, which the dialog wants initialised on its thread, are
    // loaded on first use, so a start of the program does not pay for them; they stay as
    // long as the component.
    void InitializeCom();
    win32::UniqueModule library_;
    win32::UniqueModule ole32_;
    bool comInitialized_ = false;
    std::wstring fileName_;
    std::wstring fileTitle_;
};

}  // namespace app
