// Subclassing of one window, on the window's own thread: procedures called before the
// window's own one, the newest first, each passing the message on with DefSubclass. The
// calls and their rules are those of the common controls' SetWindowSubclass,
// RemoveWindowSubclass and DefSubclassProc, which these replace: a procedure is known by
// its address and id, a second registration of the pair only replaces its data, and
// registrations may be removed in any order, also while the window is handling a message.
//
// Why not the common controls' own: they keep a window's chain in a window property, and
// read it back for every message and every link it passes; under Wine each read is a round
// trip to the server (tens of microseconds), several per message for a form that four
// hooks watch. This chain is the thread's own memory.
#pragma once

#include <windows.h>

namespace win32 {

using SubclassProc = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM, UINT_PTR id, DWORD_PTR data);

// False when the window is not of this thread or cannot be subclassed.
bool SetSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id, DWORD_PTR data);
// False when the pair is not registered on the window.
bool RemoveSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id);
// Called by a procedure of the chain: the message goes on to the next older one, and at the
// end to the window's own procedure.
LRESULT DefSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace win32
