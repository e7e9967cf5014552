#include "tools/standin/src/sql_lexer.h"

#include "tools/standin/src/messages.h"

namespace standin {
namespace {

bool IsWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) { return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$' || c == '@'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a literal or identifier closed by `close`, a doubled `close` standing for one.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& i, char close) {
    std::string out;
    ++i;  // opening quote
    while (i < s.size()) {
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                out.push_back(close);
                i += 2;
                continue;
            }
            ++i;
            return out;
        }
        out.push_back(s[i++]);
    }
    return std::nullopt;
}

}  // namespace

LexResult LexSql(std::string_view s, const Collation& collation) {
    LexResult result;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            int depth = 0;
            while (i < s.size()) {
                if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
                    ++depth;
                    i += 2;
                    continue;
                }
                if (s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/') {
                    i += 2;
                    if (--depth == 0) break;
                    continue;
                }
                ++i;
            }
            if (depth != 0) {
                result.Error = MakeMessage(MessageId::MissingEndComment);
                return result;
            }
            continue;
        }
        SqlToken t;
        if ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'') {
            ++i;
            t.Unicode = true;
        }
        const char here = s[i];
        if (here == '\'') {
            const std::size_t start = i + 1;
            auto v = ReadQuoted(s, i, '\'');
            if (!v) {
                result.Error = MakeMessage(MessageId::UnclosedQuote, {s.substr(start)});
                return result;
            }
            t.Kind = TokenKind::String;
            t.Text = t.Unicode ? std::move(*v) : collation.ThroughCodePage(*v);
        } else if (here == '[' || here == '"') {
            const std::size_t start = i + 1;
            auto v = ReadQuoted(s, i, here == '[' ? ']' : '"');
            if (!v) {
                result.Error = MakeMessage(MessageId::UnclosedQuote, {s.substr(start)});
                return result;
            }
            t.Kind = TokenKind::QuotedIdentifier;
            t.Text = std::move(*v);
        } else if (here == '@') {
            const bool system = i + 1 < s.size() && s[i + 1] == '@';
            const std::size_t start = i;
            i += system ? 2 : 1;
            while (i < s.size() && IsWordChar(s[i])) ++i;
            t.Kind = system ? TokenKind::SystemVariable : TokenKind::Variable;
            t.Text = std::string(s.substr(start, i - start));
        } else if (IsDigit(here)) {
            const std::size_t start = i;
            while (i < s.size() && (IsDigit(s[i]) || s[i] == '.')) ++i;
            t.Kind = TokenKind::Number;
            t.Text = std::string(s.substr(start, i - start));
        } else if (IsWordStart(here)) {
            const std::size_t start = i;
            while (i < s.size() && IsWordChar(s[i])) ++i;
            t.Kind = TokenKind::Word;
            t.Text = std::string(s.substr(start, i - start));
        } else {
            t.Kind = TokenKind::Punct;
            t.Text = std::string(1, here);
            ++i;
        }
        result.Tokens.push_back(std::move(t));
    }
    result.Tokens.push_back(SqlToken{});
    return result;
}

}  // namespace standin
