// Splits T-SQL text into tokens: words, [bracketed] and "quoted" identifiers, '...' and
// N'...' literals (doubled quotes inside), numbers, @variables, punctuation. Comments
// (-- to end of line, nested /* */) and whitespace are dropped. A literal without N is a
// varchar: its text is what the collation's code page keeps of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/src/collation.h"
#include "tools/standin/src/messages.h"

namespace standin {

enum class TokenKind { Word, QuotedIdentifier, String, Number, Variable, SystemVariable, Punct, End };

struct SqlToken {
    TokenKind Kind = TokenKind::End;
    std::string Text;      // identifier or literal value without quotes; punctuation itself
    bool Unicode = false;  // N'...' (a '...' literal has passed through the code page)
};

struct LexResult {
    std::vector<SqlToken> Tokens;  // always ends with an End token when there is no error
    // A batch that cannot be read at all (unclosed quote or comment), as SQL Server
    // reports it.
    std::optional<ServerMessage> Error;
};

LexResult LexSql(std::string_view sql, const Collation& collation = Collation::Default());

}  // namespace standin
