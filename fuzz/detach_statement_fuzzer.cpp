// The detach statement Dorvane builds from the chosen file (app/detach_rules.cpp), read
// back the way the stand-in reads a batch: the input is a file title in UTF-16 units (as
// Windows gives it), the database name is derived from it, and the statement travels as
// the driver sends it (UTF-16LE) into the stand-in's SQL lexer. Properties, for any name
// (quotes, brackets, control characters, nulls, characters beyond U+FFFF, unpaired
// surrogates):
//  - the statement is exactly: the procedure, one string literal, a comma, 'true';
//  - the literal holds exactly the name, as the server decodes the same units;
//  - it is an N'...' literal exactly when the name has a character outside ASCII.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/detach_rules.h"
#include "fuzz/fuzz_support.h"
#include "tools/standin/src/sql_lexer.h"
#include "tools/standin/src/wire.h"

namespace {

// The units of a wide string holding UTF-16 units, as the driver puts them on the wire.
standin::Bytes Utf16Le(const std::wstring& units) {
    standin::Bytes out;
    for (wchar_t c : units) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring name = app::DeriveDatabaseName(fuzz::Utf16Units(data, size));
    const std::string sql = standin::Utf16LeToUtf8(Utf16Le(app::BuildDetachStatement(name)));
    const standin::LexResult lexed = standin::LexSql(sql);
    fuzz::Check(!lexed.Error, "the detach statement does not lex");

    const auto& t = lexed.Tokens;
    fuzz::Check(t.size() == 5, "the detach statement is not the procedure and two arguments");
    fuzz::Check(t[0].Kind == standin::TokenKind::Word && t[0].Text == "sp_detach_db", "the procedure is not first");
    fuzz::Check(t[1].Kind == standin::TokenKind::String, "the name is not a string literal");
    fuzz::Check(t[1].Text == standin::Utf16LeToUtf8(Utf16Le(name)), "the literal does not hold the name");
    const bool ascii = std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; });
    fuzz::Check(t[1].Unicode == !ascii, "the N prefix does not match the name's characters");
    fuzz::Check(t[2].Kind == standin::TokenKind::Punct && t[2].Text == ",", "no comma after the name");
    fuzz::Check(t[3].Kind == standin::TokenKind::String && t[3].Text == "true" && !t[3].Unicode,
                "the second argument is not 'true'");
    fuzz::Check(t[4].Kind == standin::TokenKind::End, "the statement goes on after 'true'");
    return 0;
}
