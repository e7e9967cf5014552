#include "win32/system_text.h"

#include "base/text.h"

namespace win32 {

std::wstring SystemText(DWORD error, HMODULE from) {
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (from ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    const DWORD n = ::FormatMessageW(flags, from, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring s(base::Trim(std::wstring_view(text ? text : L"", n)));
    if (text) ::LocalFree(text);
    return s;
}

}  // namespace win32
