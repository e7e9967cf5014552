#include "win32/system_text.h"

#include "base/text.h"

namespace win32 {

std::wstring WithSystemText(std::wstring text, DWORD error, HMODULE from) {
    wchar_t* message = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (from ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    const DWORD n = ::FormatMessageW(flags, from, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    const std::wstring_view why = base::Trim(std::wstring_view(message ? message : L"", n));
    if (!why.empty()) text.append(L": ").append(why);
    if (message) ::LocalFree(message);
    return text;
}

}  // namespace win32
