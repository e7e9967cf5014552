// Connection strings: the OLE DB form the detach workflow builds, and the ODBC form the
// driver receives. Platform-neutral, so the rules are tested natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace db {

// One keyword=value pair, keyword as written (trimmed), value after unquoting.
struct ConnectionStringPair {
    std::wstring Keyword;
    std::wstring Value;
};

// An OLE DB connection string: `keyword=value` pairs separated by `;`.
//  - keywords are trimmed and compared case-insensitively;
//  - a value is trimmed unless it is quoted with ' or "; inside quotes the quote
//    character is doubled to stand for itself, and `;` has no special meaning;
//  - an unquoted value runs to the next `;` (quotes inside it are ordinary characters);
//  - empty pairs (";;", a trailing ";", blanks only) are ignored;
//  - a keyword given more than once: the last one wins (as OLE DB does).
// Parse throws db::Error for an unterminated quote, text after a closing quote, a pair
// without `=`, or an empty keyword; the description names the position (1-based).
class ConnectionString {
public:
    static ConnectionString Parse(std::wstring_view text);

    // Every pair in the order written, repeats included.
    const std::vector<ConnectionStringPair>& Pairs() const { return pairs_; }

    // The value of the last pair with this keyword (case-insensitive), if any.
    std::optional<std::wstring> Find(std::wstring_view keyword) const;

private:
    std::vector<ConnectionStringPair> pairs_;
};

// Blanks that the OLE DB and ODBC forms trim around keywords and unquoted values.
bool IsConnectionStringBlank(wchar_t c);

// Case-insensitive comparison of keywords (ASCII letters only: every keyword is ASCII).
bool KeywordEquals(std::wstring_view a, std::wstring_view b);

// Writes one OLE DB value so that Parse gives it back unchanged: as is when it is safe,
// otherwise in single quotes with every ' doubled.
std::wstring QuoteOleDbValue(std::wstring_view value);

// Writes one ODBC attribute value: in braces, `}` doubled, when it contains `;`, `{`, `}`,
// `=` or starts or ends with a blank (or is otherwise unsafe bare); else as is.
std::wstring QuoteOdbcValue(std::wstring_view value);

// "KEY1=value1;KEY2=value2" with every value quoted by QuoteOdbcValue.
std::wstring BuildOdbcConnectionString(const std::vector<std::pair<std::wstring, std::wstring>>& parts);

// Reads an ODBC connection string the way drivers do (braced values with `}}` for `}`);
// used to check what BuildOdbcConnectionString wrote. Throws db::Error when malformed.
std::vector<std::pair<std::wstring, std::wstring>> ParseOdbcConnectionString(std::wstring_view text);

}  // namespace db
