// The file-open dialog component: one object for the window's life, reused on every
// press. Filter in the "description|pattern|..." notation; ShowOpen shows the modal
// dialog; FileName is the chosen path (empty when cancelled), FileTitle its name.
#pragma once

#include <windows.h>

#include <string>

namespace app {

class CommonDialog {
public:
    std::wstring Filter;

    void ShowOpen(HWND owner);
    const std::wstring& FileName() const { return fileName_; }
    const std::wstring& FileTitle() const { return fileTitle_; }

private:
    std::wstring fileName_;
    std::wstring fileTitle_;
};

}  // namespace app
