// Text conversions every library shares: UTF-8 <-> UTF-16 (UTF-32 where wchar_t has 32
// bits) and the system's lower case.
#pragma once

#include <string>
#include <string_view>

namespace base {

// UTF-8 of a wide string. Surrogate pairs are joined; a lone surrogate or a value beyond
// U+10FFFF becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);
// The wide string of UTF-8 text. Invalid, overlong or truncated sequences become U+FFFD,
// one per offending byte.
std::wstring FromUtf8(std::string_view text);

// The system's lower case, in every script (not only A-Z): what access keys and
// property-bag keys compare by. On Windows it is CharLowerBuffW; elsewhere the C
// library's Unicode mapping of the C.UTF-8 locale, whatever the process's own locale.
wchar_t LowerCase(wchar_t c);
std::wstring LowerCase(std::wstring_view text);

}  // namespace base
