// The file-open dialog component: one object for the window's life, reused on every
// press. Filter in the "description|pattern|..." notation; ShowOpen shows the modal
// dialog; FileName is the chosen path (empty when cancelled), FileTitle its name.
#pragma once

#include <windows.h>

#include <string>

#include "win_handles.h"

namespace app {

class CommonDialog {
public:
    std::wstring Filter;

    // Raises host::Error when the system's dialog library cannot be loaded.
    void ShowOpen(HWND owner);
    const std::wstring& FileName() const { return fileName_; }
    const std::wstring& FileTitle() const { return fileTitle_; }

private:
    // The dialog library is loaded on first use, so a start of the program does not pay
    // for it; it stays loaded as long as the component.
    host::UniqueModule library_;
    std::wstring fileName_;
    std::wstring fileTitle_;
};

}  // namespace app
