#include "tools/standin/src/sql_parser.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

constexpr std::array kImplemented = {"SET", "USE", "EXEC", "EXECUTE", "SELECT", "CREATE"};
// Statements SQL Server has and this server does not: refused with a clear error
// instead of being mistaken for a procedure name or a syntax error.
constexpr std::array kNotImplemented = {
    "INSERT",   "UPDATE",     "DELETE",     "DROP",      "ALTER",      "DECLARE",     "IF",       "BEGIN", "COMMIT",
    "ROLLBACK", "WHILE",      "PRINT",      "RAISERROR", "TRUNCATE",   "GRANT",       "REVOKE",   "DENY",  "BACKUP",
    "RESTORE",  "DBCC",       "WAITFOR",    "MERGE",     "WITH",       "RETURN",      "GOTO",     "OPEN",  "CLOSE",
    "FETCH",    "DEALLOCATE", "KILL",       "SHUTDOWN",  "CHECKPOINT", "RECONFIGURE", "SAVE",     "THROW", "BULK",
    "READTEXT", "WRITETEXT",  "UPDATETEXT", "END",       "ELSE",       "BREAK",       "CONTINUE", "TRY",   "CATCH"};
// Built-in functions a SELECT without a table may call (the values come from the session
// and the server); other functions are refused as not supported.
constexpr std::array kSystemFunctions = {"DB_NAME", "USER_NAME", "SUSER_NAME", "SUSER_SNAME", "SERVERPROPERTY"};
// Options that take ON or OFF.
constexpr std::array kOnOffOptions = {"QUOTED_IDENTIFIER",
                                      "ANSI_NULLS",
                                      "ANSI_WARNINGS",
                                      "ANSI_PADDING",
                                      "ANSI_NULL_DFLT_ON",
                                      "ANSI_NULL_DFLT_OFF",
                                      "ANSI_DEFAULTS",
                                      "CONCAT_NULL_YIELDS_NULL",
                                      "CURSOR_CLOSE_ON_COMMIT",
                                      "IMPLICIT_TRANSACTIONS",
                                      "ARITHABORT",
                                      "ARITHIGNORE",
                                      "NUMERIC_ROUNDABORT",
                                      "NOCOUNT",
                                      "XACT_ABORT",
                                      "NOEXEC",
                                      "PARSEONLY",
                                      "FMTONLY",
                                      "FORCEPLAN",
                                      "REMOTE_PROC_TRANSACTIONS",
                                      "SHOWPLAN_ALL",
                                      "SHOWPLAN_TEXT",
                                      "SHOWPLAN_XML",
                                      "NO_BROWSETABLE",
                                      "CONTEXT_INFO_OFF"};
// Options that take some other value.
constexpr std::array kValueOptions = {
    "TEXTSIZE", "LANGUAGE",          "DATEFORMAT",  "DATEFIRST",  "LOCK_TIMEOUT",
    "ROWCOUNT", "DEADLOCK_PRIORITY", "TRANSACTION", "STATISTICS", "QUERY_GOVERNOR_COST_LIMIT",
    "OFFSETS"};

template <std::size_t N>
bool InList(const std::array<const char*, N>& list, std::string_view word) {
    return std::any_of(list.begin(), list.end(), [&](const char* k) { return base::EqualsIgnoringAsciiCase(k, word); });
}

class Parser {
public:
    explicit Parser(std::vector<SqlToken> tokens) : t_(std::move(tokens)) {}

    ParsedBatch Run() {
        ParsedBatch out;
        bool first = true;
        while (!AtEnd()) {
            if (IsPunct(";")) {
                ++pos_;
                continue;
            }
            std::optional<Statement> s = ParseStatement(first);
            if (!s) {
                out.statements.clear();
                out.error = error_;
                return out;
            }
            out.statements.push_back(std::move(*s));
            first = false;
        }
        return out;
    }

private:
    const SqlToken& Peek(std::size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
    bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }
    bool IsPunct(std::string_view p, std::size_t ahead = 0) const {
        return Peek(ahead).kind == TokenKind::kPunct && Peek(ahead).text == p;
    }
    bool IsWord(std::string_view w, std::size_t ahead = 0) const {
        return Peek(ahead).kind == TokenKind::kWord && base::EqualsIgnoringAsciiCase(Peek(ahead).text, w);
    }
    bool IsIdentifier() const { return Peek().kind == TokenKind::kWord || Peek().kind == TokenKind::kQuotedIdentifier; }
    // Where one statement ends and the next may begin.
    bool AtBoundary() const {
        if (AtEnd() || IsPunct(";")) return true;
        return Peek().kind == TokenKind::kWord &&
               (InList(kImplemented, Peek().text) || InList(kNotImplemented, Peek().text));
    }

    std::nullopt_t Fail(int number, int severity, std::string text) {
        error_ = SqlError{number, severity, 1, std::move(text)};
        return std::nullopt;
    }
    // SQL Server names the token it stopped at, or the last one at the end of the batch.
    std::nullopt_t SyntaxError() {
        std::size_t at = pos_;
        if (Peek().kind == TokenKind::kEnd && at > 0) at = std::min(at, t_.size() - 1) - 1;
        const std::string near = t_.empty() ? "" : t_[std::min(at, t_.size() - 1)].text;
        return Fail(kErrSyntax, 15, FormatSyntaxError(near));
    }
    bool Accept(std::string_view punct) {
        if (!IsPunct(punct)) return false;
        ++pos_;
        return true;
    }
    bool AcceptWord(std::string_view word) {
        if (!IsWord(word)) return false;
        ++pos_;
        return true;
    }

    std::optional<Statement> ParseStatement(bool first) {
        const SqlToken& k = Peek();
        if (k.kind == TokenKind::kWord) {
            if (base::EqualsIgnoringAsciiCase(k.text, "SET")) {
                ++pos_;
                return ParseSet();
            }
            if (base::EqualsIgnoringAsciiCase(k.text, "USE")) {
                ++pos_;
                return ParseUse();
            }
            if (base::EqualsIgnoringAsciiCase(k.text, "EXEC") || base::EqualsIgnoringAsciiCase(k.text, "EXECUTE")) {
                ++pos_;
                return ParseExec();
            }
            if (base::EqualsIgnoringAsciiCase(k.text, "SELECT")) {
                ++pos_;
                return ParseSelect();
            }
            if (base::EqualsIgnoringAsciiCase(k.text, "CREATE")) {
                ++pos_;
                return ParseCreate();
            }
            if (InList(kNotImplemented, k.text))
                return Fail(kErrNotSupported, 16, FormatNotSupported(base::AsciiUpperCase(k.text)));
        }
        // A batch may start with a bare procedure name: "sp_detach_db 'x','true'".
        if (first && IsIdentifier()) return ParseExec();
        return SyntaxError();
    }

    std::optional<Statement> ParseSet() {
        SetStatement s;
        if (Peek().kind == TokenKind::kVariable)
            return Fail(kErrUndeclaredVariable, 15, FormatUndeclaredVariable(Peek().text));
        while (true) {
            if (Peek().kind != TokenKind::kWord) return SyntaxError();
            const std::string name = base::AsciiUpperCase(Peek().text);
            if (!InList(kOnOffOptions, name) && !InList(kValueOptions, name)) {
                return Fail(kErrUnknownSetOption, 15, FormatUnknownSetOption(Peek().text));
            }
            s.options.push_back(name);
            ++pos_;
            if (!Accept(",")) break;
        }
        std::vector<std::string> words;
        while (!AtBoundary()) {
            const SqlToken& v = Peek();
            if (v.kind == TokenKind::kVariable)
                return Fail(kErrUndeclaredVariable, 15, FormatUndeclaredVariable(v.text));
            words.push_back(v.kind == TokenKind::kWord ? base::AsciiUpperCase(v.text) : v.text);
            ++pos_;
        }
        if (words.empty()) return SyntaxError();
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (i > 0 && words[i - 1] != "-") s.value += ' ';
            s.value += words[i];
        }
        const bool on_off = InList(kOnOffOptions, s.options.front());
        if (on_off && s.value != "ON" && s.value != "OFF") {
            --pos_;
            return SyntaxError();
        }
        if (s.options.size() > 1 && !on_off) return SyntaxError();
        return s;
    }

    std::optional<Statement> ParseUse() {
        if (!IsIdentifier()) return SyntaxError();
        UseStatement u{Peek().text};
        ++pos_;
        return u;
    }

    // [db.][schema.]name, empty parts allowed ("master..sp_detach_db"); the last part.
    std::optional<std::string> ParseDottedName() {
        std::string last;
        bool have = false;
        while (true) {
            if (IsIdentifier()) {
                last = Peek().text;
                have = true;
                ++pos_;
            }
            if (!Accept(".")) break;
            have = false;
        }
        if (!have) return std::nullopt;
        return last;
    }

    std::optional<Statement> ParseExec() {
        ExecStatement e;
        if (Peek().kind == TokenKind::kVariable)
            return Fail(kErrUndeclaredVariable, 15, FormatUndeclaredVariable(Peek().text));
        if (IsPunct("(")) return Fail(kErrNotSupported, 16, FormatNotSupported("EXEC of a character string"));
        auto name = ParseDottedName();
        if (!name) return SyntaxError();
        e.procedure = *name;
        if (AtBoundary()) return e;
        while (true) {
            ProcArgument a;
            if (Peek().kind == TokenKind::kVariable) {
                if (!IsPunct("=", 1)) return Fail(kErrUndeclaredVariable, 15, FormatUndeclaredVariable(Peek().text));
                a.name = Peek().text;
                pos_ += 2;
            }
            auto v = ParseValue();
            if (!v) return std::nullopt;
            a.value = std::move(*v);
            if (IsWord("OUTPUT") || IsWord("OUT"))
                return Fail(kErrNotSupported, 16, FormatNotSupported("OUTPUT parameters"));
            e.arguments.push_back(std::move(a));
            if (!Accept(",")) break;
        }
        if (!AtBoundary()) return SyntaxError();
        return e;
    }

    std::optional<SqlValue> ParseValue() {
        const SqlToken& v = Peek();
        SqlValue out;
        if (v.kind == TokenKind::kString) {
            out.text = v.text;
            out.unicode = v.unicode;
        } else if (v.kind == TokenKind::kNumber) {
            out.kind = SqlValue::Kind::kNumber;
            out.text = v.text;
        } else if (v.kind == TokenKind::kPunct && (v.text == "-" || v.text == "+") &&
                   Peek(1).kind == TokenKind::kNumber) {
            out.kind = SqlValue::Kind::kNumber;
            out.text = (v.text == "-" ? "-" : "") + Peek(1).text;
            ++pos_;
        } else if (v.kind == TokenKind::kWord && base::EqualsIgnoringAsciiCase(v.text, "NULL")) {
            out.kind = SqlValue::Kind::kNull;
        } else if (v.kind == TokenKind::kWord && base::EqualsIgnoringAsciiCase(v.text, "DEFAULT")) {
            out.kind = SqlValue::Kind::kDefault;
        } else if (v.kind == TokenKind::kWord || v.kind == TokenKind::kQuotedIdentifier) {
            out.text = v.text;  // SQL Server takes a bare identifier as a character string here
        } else if (v.kind == TokenKind::kVariable) {
            return Fail(kErrUndeclaredVariable, 15, FormatUndeclaredVariable(v.text));
        } else {
            return SyntaxError();
        }
        ++pos_;
        return out;
    }

    std::optional<Statement> ParseCreate() {
        if (!AcceptWord("DATABASE"))
            return Fail(kErrNotSupported, 16, FormatNotSupported("CREATE " + base::AsciiUpperCase(Peek().text)));
        if (!IsIdentifier()) return SyntaxError();
        AttachStatement a{Peek().text, {}};
        ++pos_;
        if (!AcceptWord("ON"))
            return Fail(kErrNotSupported, 16, FormatNotSupported("CREATE DATABASE without FOR ATTACH"));
        AcceptWord("PRIMARY");
        if (!ParseFileSpecs(a.files)) return std::nullopt;
        if (AcceptWord("LOG")) {
            if (!AcceptWord("ON")) return SyntaxError();
            if (!ParseFileSpecs(a.files)) return std::nullopt;
        }
        if (!AcceptWord("FOR"))
            return Fail(kErrNotSupported, 16, FormatNotSupported("CREATE DATABASE without FOR ATTACH"));
        if (!AcceptWord("ATTACH"))
            return Fail(kErrNotSupported, 16, FormatNotSupported("CREATE DATABASE FOR " + base::AsciiUpperCase(Peek().text)));
        if (!AtBoundary()) return SyntaxError();
        return a;
    }

    // ( FILENAME = '...' [, NAME = x ...] ) [, ( ... )]*
    bool ParseFileSpecs(std::vector<std::string>& files) {
        do {
            if (!Accept("(")) return SyntaxError(), false;
            std::optional<std::string> file;
            do {
                if (Peek().kind != TokenKind::kWord) return SyntaxError(), false;
                const std::string key = base::AsciiUpperCase(Peek().text);
                ++pos_;
                if (!Accept("=")) return SyntaxError(), false;
                auto v = ParseValue();
                if (!v) return false;
                if (key == "FILENAME") {
                    if (v->kind != SqlValue::Kind::kString) {
                        --pos_;
                        return SyntaxError(), false;
                    }
                    file = v->text;
                } else if (key != "NAME" && key != "SIZE" && key != "MAXSIZE" && key != "FILEGROWTH") {
                    --pos_;
                    return SyntaxError(), false;
                }
            } while (Accept(","));
            if (!Accept(")")) return SyntaxError(), false;
            if (!file) return SyntaxError(), false;
            files.push_back(*file);
        } while (Accept(","));
        return true;
    }

    std::optional<Statement> ParseSelect() {
        SelectStatement s;
        do {
            auto item = ParseSelectItem();
            if (!item) return std::nullopt;
            s.items.push_back(std::move(*item));
        } while (Accept(","));
        if (AcceptWord("FROM")) {
            const std::size_t start = pos_;
            std::vector<std::string> parts;
            while (true) {
                if (IsIdentifier()) {
                    parts.push_back(Peek().text);
                    ++pos_;
                } else {
                    parts.emplace_back();
                }
                if (!Accept(".")) break;
            }
            if (parts.empty() || parts.back().empty()) {
                pos_ = start;
                return SyntaxError();
            }
            for (std::size_t i = 0; i < parts.size(); ++i) s.source_name += (i ? "." : "") + parts[i];
            const bool in_master = parts.size() < 3 || parts[0].empty() || base::EqualsIgnoringAsciiCase(parts[0], "master");
            const bool sys = parts.size() >= 2 && base::EqualsIgnoringAsciiCase(parts[parts.size() - 2], "sys");
            if (parts.size() <= 3 && in_master && sys && base::EqualsIgnoringAsciiCase(parts.back(), "databases"))
                s.source = SelectSource::kDatabases;
            else if (parts.size() <= 3 && in_master && sys && base::EqualsIgnoringAsciiCase(parts.back(), "master_files"))
                s.source = SelectSource::kMasterFiles;
            else
                return Fail(kErrInvalidObject, 16, FormatInvalidObject(s.source_name));
            if (AcceptWord("WHERE") && !ParseWhere(s)) return std::nullopt;
            if (AcceptWord("ORDER")) {
                if (!AcceptWord("BY") || !IsIdentifier()) return SyntaxError();
                s.order_by = Peek().text;
                ++pos_;
                if (AcceptWord("DESC"))
                    s.descending = true;
                else
                    AcceptWord("ASC");
            }
        }
        if (!AtBoundary()) return SyntaxError();
        return s;
    }

    bool ParseWhere(SelectStatement& s) {
        if (!IsIdentifier()) return SyntaxError(), false;
        s.where_column = Peek().text;
        ++pos_;
        if (!Accept("=")) return SyntaxError(), false;
        if ((IsWord("DB_ID")) && IsPunct("(", 1)) {
            pos_ += 2;
            if (Peek().kind != TokenKind::kString) return SyntaxError(), false;
            s.where_value = Peek().text;
            s.where_db_id_of = true;
            ++pos_;
            if (!Accept(")")) return SyntaxError(), false;
            return true;
        }
        if (Peek().kind != TokenKind::kString && Peek().kind != TokenKind::kNumber) return SyntaxError(), false;
        s.where_value = Peek().text;
        ++pos_;
        return true;
    }

    std::optional<SelectItem> ParseSelectItem() {
        SelectItem item;
        const SqlToken& v = Peek();
        if (v.kind == TokenKind::kSystemVariable) {
            item.kind = SelectItem::Kind::kSystem;
            item.text = base::AsciiUpperCase(v.text);
            ++pos_;
        } else if (v.kind == TokenKind::kNumber && v.text.find('.') == std::string::npos && v.text.size() < 10) {
            item.kind = SelectItem::Kind::kInteger;
            item.text = v.text;
            ++pos_;
        } else if (v.kind == TokenKind::kString) {
            item.kind = SelectItem::Kind::kString;
            item.text = v.text;
            item.unicode = v.unicode;
            ++pos_;
        } else if (v.kind == TokenKind::kWord && IsPunct("(", 1) && InList(kSystemFunctions, v.text)) {
            item.kind = SelectItem::Kind::kSystem;
            item.text = base::AsciiUpperCase(v.text) + "()";
            pos_ += 2;
            if (item.text == "SERVERPROPERTY()") {
                if (Peek().kind != TokenKind::kString) return SyntaxError();
                item.argument = Peek().text;
                ++pos_;
            }
            if (!Accept(")"))
                return Fail(kErrNotSupported, 16,
                            FormatNotSupported(item.text.substr(0, item.text.size() - 2) + " with an argument"));
        } else if (IsPunct("*")) {
            item.text = "*";
            ++pos_;
        } else if (IsIdentifier()) {
            if (IsPunct("(", 1))
                return Fail(kErrNotSupported, 16, FormatNotSupported("function " + base::AsciiUpperCase(v.text)));
            auto name = ParseDottedName();
            if (!name) return SyntaxError();
            item.text = *name;
            item.alias = *name;
        } else {
            return SyntaxError();
        }
        if (AcceptWord("AS")) {
            if (!IsIdentifier() && Peek().kind != TokenKind::kString) return SyntaxError();
            item.alias = Peek().text;
            ++pos_;
        } else if (IsIdentifier() && !AtBoundary() && !IsWord("FROM") && !IsWord("WHERE") && !IsWord("ORDER")) {
            item.alias = Peek().text;
            ++pos_;
        }
        if (item.kind == SelectItem::Kind::kColumn && item.text == "*" && !item.alias.empty() && item.alias != "*") {
            return SyntaxError();
        }
        return item;
    }

    std::vector<SqlToken> t_;
    std::size_t pos_ = 0;
    SqlError error_;
};

}  // namespace

ParsedBatch ParseSqlBatch(std::string_view sql, const Collation& collation) {
    LexResult lex = LexSql(sql, collation);
    if (lex.error) return ParsedBatch{{}, lex.error};
    return Parser(std::move(lex.tokens)).Run();
}

}  // namespace standin
