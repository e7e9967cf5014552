#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// `text` followed by ": " and the system's description of an error number (GetLastError's,
// or a message of the module given, ntdll's for an exception code), without the CR LF the
// system ends it with; `text` alone when the system has no description for it.
std::wstring WithSystemText(std::wstring text, DWORD error, HMODULE from = nullptr);

}  // namespace win32
