#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// The system's description of an error number (GetLastError's, or a message of the
// module given, ntdll's for an exception code), without the CR LF it ends with. Empty
// when the system has no text for it.
std::wstring SystemText(DWORD error, HMODULE from = nullptr);

}  // namespace win32
