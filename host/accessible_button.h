// What screen readers see of a hosted push-button control: a standard accessible object
// for its window, answering as a push button named by its window text (the caption
// without its "&" marks), whose default action presses it.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <functional>

namespace host {

// The object itself, with one reference for the caller.
IAccessible* CreateAccessibleButton(HWND hwnd, std::function<void()> press);

// Answers WM_GETOBJECT for OBJID_CLIENT; 0 when the object cannot be made (the caller then
// leaves the message to DefWindowProc).
LRESULT AnswerAccessibleButton(HWND hwnd, WPARAM wParam, std::function<void()> press);

}  // namespace host
