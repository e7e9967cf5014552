// The OLE DB connection-string parser and the quoting that Dorvane relies on to carry any
// server name through the connection string unchanged:
//  - Parse either gives pairs or throws db::Error, for any text;
//  - every parsed value, written back with QuoteOleDbValue, parses to itself;
//  - the input itself as a server name, through app::BuildConnectionString, comes back as
//    exactly that Data Source;
//  - the same value through the ODBC form (BuildOdbcConnectionString and its reader)
//    comes back unchanged.
#include <cstddef>
#include <cstdint>

#include "app/detach_rules.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "fuzz/fuzz_support.h"

namespace {

void CheckOleDbRoundTrip(const std::wstring& value) {
    const std::wstring text = L"Data Source=" + db::QuoteOleDbValue(value) + L";User ID=sa";
    try {
        const auto parsed = db::ConnectionString::Parse(text);
        const auto back = parsed.Find(L"data source");
        fuzz::Check(back.has_value() && *back == value, "QuoteOleDbValue does not parse back to its value");
        fuzz::Check(parsed.Find(L"User ID") == std::optional<std::wstring>(L"sa"),
                    "a quoted value swallowed the next pair");
    } catch (const db::Error&) {
        fuzz::Fail("a value written by QuoteOleDbValue does not parse");
    }
}

void CheckServerName(const std::wstring& server) {
    try {
        const auto parsed = db::ConnectionString::Parse(app::BuildConnectionString(server));
        fuzz::Check(parsed.Find(L"Data Source") == std::optional<std::wstring>(server),
                    "BuildConnectionString does not carry the server name unchanged");
        fuzz::Check(parsed.Find(L"Initial Catalog") == std::optional<std::wstring>(L"master"),
                    "a server name changed the initial catalog");
        fuzz::Check(parsed.Find(L"User ID") == std::optional<std::wstring>(L"sa"), "a server name changed the login");
    } catch (const db::Error&) {
        fuzz::Fail("BuildConnectionString wrote a string that does not parse");
    }
}

void CheckOdbcRoundTrip(const std::wstring& value) {
    const std::wstring text = db::BuildOdbcConnectionString({{L"SERVER", value}, {L"UID", L"sa"}});
    try {
        const auto pairs = db::ParseOdbcConnectionString(text);
        fuzz::Check(pairs.size() == 2, "the ODBC string has a different number of attributes");
        fuzz::Check(pairs[0].second == value, "an ODBC value does not read back unchanged");
        fuzz::Check(pairs[1].second == L"sa", "an ODBC value swallowed the next attribute");
    } catch (const db::Error&) {
        fuzz::Fail("BuildOdbcConnectionString wrote a string that does not parse");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::Utf16Units(data, size);
    try {
        const auto parsed = db::ConnectionString::Parse(text);
        for (const auto& pair : parsed.Pairs()) {
            fuzz::Check(!pair.Keyword.empty(), "Parse gave an empty keyword");
            CheckOleDbRoundTrip(pair.Value);
        }
    } catch (const db::Error& e) {
        fuzz::Check(!e.Description().empty(), "a parse error without a description");
    }
    CheckOleDbRoundTrip(text);
    CheckServerName(text);
    CheckOdbcRoundTrip(text);
    return 0;
}
