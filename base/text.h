// The text toolkit every library shares, the stand-in included: UTF-8 <-> UTF-16 (UTF-32
// where wchar_t has 32 bits) and code points, the system's lower case and comparison by
// it, ASCII case for protocol keywords, trimming, and the doubling of quote characters
// that quoted SQL and connection-string values need.
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
// The code points of UTF-8 text, with the same U+FFFD rule; and one code point appended
// as UTF-8.
std::u32string DecodeUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t c);

// The system's lower case, in every script (not only A-Z): what access keys and
// property-bag keys compare by. On Windows it is CharLowerBuffW; elsewhere the C
// library's Unicode mapping of the C.UTF-8 locale, whatever the process's own locale.
wchar_t LowerCase(wchar_t c);
std::wstring LowerCase(std::wstring_view text);
// Equal but for case, by the system's lower case above.
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);

// ASCII letters only, as a protocol compares its keywords and names.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);

// Without the white space (space, tab, CR, LF, VT, FF) at either end.
std::string_view Trim(std::string_view text);
std::wstring_view Trim(std::wstring_view text);

// Every `quote` doubled: 'O''Brien' for a SQL literal, ]] in a bracketed identifier.
std::string DoubleQuotes(std::string_view text, char quote);
std::wstring DoubleQuotes(std::wstring_view text, wchar_t quote);

}  // namespace base
