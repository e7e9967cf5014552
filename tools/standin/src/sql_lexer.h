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

namespace standin {

enum class TokenKind { kWord, kQuotedIdentifier, kString, kNumber, kVariable, kSystemVariable, kPunct, kEnd };

struct SqlToken {
    TokenKind kind = TokenKind::kEnd;
    std::string text;      // identifier or literal value without quotes; punctuation itself
    bool unicode = false;  // N'...' (a '...' literal has passed through the code page)
};

// A batch that cannot be read at all (unclosed quote or comment), as SQL Server reports it.
struct SqlError {
    int number = 0;
    int severity = 16;
    int state = 1;
    std::string text;
};

struct LexResult {
    std::vector<SqlToken> tokens;  // always ends with a kEnd token when error is empty
    std::optional<SqlError> error;
};

LexResult LexSql(std::string_view sql, const Collation& collation = Collation::Default());

}  // namespace standin
