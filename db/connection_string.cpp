#include "db/connection_string.h"

#include "base/text.h"
#include "db/error.h"

namespace db {

namespace {

using base::Trim;  // the connection string's blanks are the ASCII white space it trims

size_t SkipBlanks(std::wstring_view text, size_t pos) {
    while (pos < text.size() && IsConnectionStringBlank(text[pos])) ++pos;
    return pos;
}

[[noreturn]] void Malformed(std::wstring_view kind, size_t pos, std::wstring_view problem) {
    throw Error(L"The " + std::wstring(kind) + L" connection string is malformed at position " +
                std::to_wstring(pos + 1) + L": " + std::wstring(problem));
}

// The keyword of the pair starting at `pos` (blanks skipped, not `;`); `pos` is left just
// after the `=`.
std::wstring ReadKeyword(std::wstring_view kind, std::wstring_view text, size_t& pos) {
    const size_t start = pos;
    size_t end = start;
    while (end < text.size() && text[end] != L'=' && text[end] != L';') ++end;
    if (end == text.size() || text[end] == L';') {
        Malformed(kind, start,
                  L"'" + std::wstring(Trim(text.substr(start, end - start))) +
                      L"' is not of the form keyword=value (no '=').");
    }
    const std::wstring_view keyword = Trim(text.substr(start, end - start));
    if (keyword.empty()) Malformed(kind, end, L"there is no keyword before '='.");
    pos = end + 1;
    return std::wstring(keyword);
}

// After a quoted or braced value: only blanks may follow before the next `;`.
void EndOfPair(std::wstring_view kind, std::wstring_view text, size_t& pos, wchar_t closer) {
    pos = SkipBlanks(text, pos);
    if (pos < text.size() && text[pos] != L';') {
        Malformed(kind, pos,
                  std::wstring(L"unexpected text after the closing ") + closer +
                      L" (a quoted value must be followed by ';' or the end).");
    }
    if (pos < text.size()) ++pos;
}

// A bare value: everything up to the next `;`, trimmed.
std::wstring ReadBareValue(std::wstring_view text, size_t& pos) {
    size_t end = text.find(L';', pos);
    if (end == std::wstring_view::npos) end = text.size();
    std::wstring value(Trim(text.substr(pos, end - pos)));
    pos = end == text.size() ? end : end + 1;
    return value;
}

bool NeedsOdbcBraces(std::wstring_view value) {
    if (value.empty()) return false;
    if (IsConnectionStringBlank(value.front()) || IsConnectionStringBlank(value.back())) return true;
    return value.find_first_of(L";{}=") != std::wstring_view::npos;
}

}  // namespace

bool IsConnectionStringBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

bool KeywordEquals(std::wstring_view a, std::wstring_view b) { return base::EqualsIgnoringAsciiCase(a, b); }

ConnectionString ConnectionString::Parse(std::wstring_view text) {
    ConnectionString result;
    size_t pos = 0;
    while (true) {
        pos = SkipBlanks(text, pos);
        if (pos >= text.size()) break;
        if (text[pos] == L';') {  // an empty pair
            ++pos;
            continue;
        }
        ConnectionStringPair pair;
        pair.Keyword = ReadKeyword(L"OLE DB", text, pos);
        pos = SkipBlanks(text, pos);
        if (pos < text.size() && (text[pos] == L'\'' || text[pos] == L'"')) {
            const wchar_t quote = text[pos];
            const size_t opening = pos++;
            while (true) {
                if (pos >= text.size()) {
                    Malformed(L"OLE DB", opening,
                              std::wstring(L"the value quoted with ") + quote + L" has no closing " + quote + L".");
                }
                if (text[pos] == quote) {
                    if (pos + 1 < text.size() && text[pos + 1] == quote) {  // a doubled quote
                        pair.Value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                pair.Value += text[pos++];
            }
            EndOfPair(L"OLE DB", text, pos, quote);
        } else {
            pair.Value = ReadBareValue(text, pos);
        }
        result.pairs_.push_back(std::move(pair));
    }
    return result;
}

std::optional<std::wstring> ConnectionString::Find(std::wstring_view keyword) const {
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
        if (KeywordEquals(it->Keyword, keyword)) return it->Value;
    }
    return std::nullopt;
}

std::wstring QuoteOleDbValue(std::wstring_view value) {
    const bool safe = value.empty() ||
                      (!IsConnectionStringBlank(value.front()) && !IsConnectionStringBlank(value.back()) &&
                       value.front() != L'\'' && value.front() != L'"' && value.find(L';') == std::wstring_view::npos);
    if (safe) return std::wstring(value);
    // Single quotes unless the value has single quotes and no double ones.
    const wchar_t quote =
        (value.find(L'\'') != std::wstring_view::npos && value.find(L'"') == std::wstring_view::npos) ? L'"' : L'\'';
    return quote + base::DoubleQuotes(value, quote) + quote;
}

std::wstring QuoteOdbcValue(std::wstring_view value) {
    if (!NeedsOdbcBraces(value)) return std::wstring(value);
    return L"{" + base::DoubleQuotes(value, L'}') + L"}";
}

std::wstring BuildOdbcConnectionString(const std::vector<std::pair<std::wstring, std::wstring>>& parts) {
    std::wstring out;
    for (const auto& [keyword, value] : parts) {
        if (!out.empty()) out += L';';
        out += keyword;
        out += L'=';
        out += QuoteOdbcValue(value);
    }
    return out;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseOdbcConnectionString(std::wstring_view text) {
    std::vector<std::pair<std::wstring, std::wstring>> parts;
    size_t pos = 0;
    while (true) {
        pos = SkipBlanks(text, pos);
        if (pos >= text.size()) break;
        if (text[pos] == L';') {
            ++pos;
            continue;
        }
        std::wstring keyword = ReadKeyword(L"ODBC", text, pos);
        pos = SkipBlanks(text, pos);
        std::wstring value;
        if (pos < text.size() && text[pos] == L'{') {
            const size_t opening = pos++;
            while (true) {
                if (pos >= text.size()) Malformed(L"ODBC", opening, L"the value in braces has no closing }.");
                if (text[pos] == L'}') {
                    if (pos + 1 < text.size() && text[pos + 1] == L'}') {
                        value += L'}';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                value += text[pos++];
            }
            EndOfPair(L"ODBC", text, pos, L'}');
        } else {
            value = ReadBareValue(text, pos);
        }
        parts.emplace_back(std::move(keyword), std::move(value));
    }
    return parts;
}

}  // namespace db
