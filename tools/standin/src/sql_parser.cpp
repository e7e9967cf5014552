#include "tools/standin/src/sql_parser.h"

#include <algorithm>
#include <span>

#include "base/text.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

using Words = std::span<const std::string_view>;

// Statements SQL Server has and this server does not: refused with a clear error
// instead of being mistaken for a procedure name or a syntax error.
constexpr std::string_view kNotImplemented[] = {
    "INSERT",   "UPDATE",     "DELETE",     "DROP",      "ALTER",      "DECLARE",     "IF",       "BEGIN", "COMMIT",
    "ROLLBACK", "WHILE",      "PRINT",      "RAISERROR", "TRUNCATE",   "GRANT",       "REVOKE",   "DENY",  "BACKUP",
    "RESTORE",  "DBCC",       "WAITFOR",    "MERGE",     "WITH",       "RETURN",      "GOTO",     "OPEN",  "CLOSE",
    "FETCH",    "DEALLOCATE", "KILL",       "SHUTDOWN",  "CHECKPOINT", "RECONFIGURE", "SAVE",     "THROW", "BULK",
    "READTEXT", "WRITETEXT",  "UPDATETEXT", "END",       "ELSE",       "BREAK",       "CONTINUE", "TRY",   "CATCH"};
// Built-in functions a SELECT without a table may call (the values come from the session
// and the server); other functions are refused as not supported.
constexpr std::string_view kSystemFunctions[] = {"DB_NAME", "USER_NAME", "SUSER_NAME", "SUSER_SNAME", "SERVERPROPERTY"};
// Options that take ON or OFF.
constexpr std::string_view kOnOffOptions[] = {"QUOTED_IDENTIFIER",
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
constexpr std::string_view kValueOptions[] = {
    "TEXTSIZE", "LANGUAGE",          "DATEFORMAT",  "DATEFIRST",  "LOCK_TIMEOUT",
    "ROWCOUNT", "DEADLOCK_PRIORITY", "TRANSACTION", "STATISTICS", "QUERY_GOVERNOR_COST_LIMIT",
    "OFFSETS"};

bool InList(Words list, std::string_view word) {
    return std::any_of(list.begin(), list.end(),
                       [&](std::string_view k) { return base::EqualsIgnoringAsciiCase(k, word); });
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
                out.Statements.clear();
                out.Error = error_;
                return out;
            }
            out.Statements.push_back(std::move(*s));
            first = false;
        }
        return out;
    }

private:
    const SqlToken& Peek(std::size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
    bool AtEnd() const { return Peek().Kind == TokenKind::End; }
    bool IsPunct(std::string_view p, std::size_t ahead = 0) const {
        return Peek(ahead).Kind == TokenKind::Punct && Peek(ahead).Text == p;
    }
    bool IsWord(std::string_view w, std::size_t ahead = 0) const {
        return Peek(ahead).Kind == TokenKind::Word && base::EqualsIgnoringAsciiCase(Peek(ahead).Text, w);
    }
    bool IsIdentifier() const { return Peek().Kind == TokenKind::Word || Peek().Kind == TokenKind::QuotedIdentifier; }
    // The statements this server runs, by their first word (already read when the
    // parser is called).
    using StatementParser = std::optional<Statement> (Parser::*)();
    struct StatementStart {
        std::string_view Word;
        StatementParser Parse;
    };
    static std::span<const StatementStart> Statements() {
        static constexpr StatementStart kStatements[] = {
            {"SET", &Parser::ParseSet},      {"USE", &Parser::ParseUse},       {"EXEC", &Parser::ParseExec},
            {"EXECUTE", &Parser::ParseExec}, {"SELECT", &Parser::ParseSelect}, {"CREATE", &Parser::ParseCreate},
        };
        return kStatements;
    }
    static const StatementStart* StatementFor(const SqlToken& t) {
        if (t.Kind != TokenKind::Word) return nullptr;
        for (const StatementStart& s : Statements())
            if (base::EqualsIgnoringAsciiCase(s.Word, t.Text)) return &s;
        return nullptr;
    }

    // Where one statement ends and the next may begin.
    bool AtBoundary() const {
        if (AtEnd() || IsPunct(";")) return true;
        return StatementFor(Peek()) || (Peek().Kind == TokenKind::Word && InList(kNotImplemented, Peek().Text));
    }

    std::nullopt_t Fail(MessageId id, std::initializer_list<std::string_view> arguments = {}) {
        error_ = MakeMessage(id, arguments);
        return std::nullopt;
    }
    // SQL Server names the token it stopped at, or the last one at the end of the batch.
    std::nullopt_t SyntaxError() {
        std::size_t at = pos_;
        if (Peek().Kind == TokenKind::End && at > 0) at = std::min(at, t_.size() - 1) - 1;
        const std::string near = t_.empty() ? "" : t_[std::min(at, t_.size() - 1)].Text;
        return Fail(MessageId::SyntaxError, {near});
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
        if (const StatementStart* statement = StatementFor(k)) {
            ++pos_;
            return (this->*statement->Parse)();
        }
        if (k.Kind == TokenKind::Word && InList(kNotImplemented, k.Text))
            return Fail(MessageId::NotSupported, {base::AsciiUpperCase(k.Text)});
        // A batch may start with a bare procedure name: "sp_detach_db 'x','true'".
        if (first && IsIdentifier()) return ParseExec();
        return SyntaxError();
    }

    std::optional<Statement> ParseSet() {
        SetStatement s;
        if (Peek().Kind == TokenKind::Variable) return Fail(MessageId::UndeclaredVariable, {Peek().Text});
        while (true) {
            if (Peek().Kind != TokenKind::Word) return SyntaxError();
            const std::string name = base::AsciiUpperCase(Peek().Text);
            if (!InList(kOnOffOptions, name) && !InList(kValueOptions, name)) {
                return Fail(MessageId::UnknownSetOption, {Peek().Text});
            }
            s.Options.push_back(name);
            ++pos_;
            if (!Accept(",")) break;
        }
        std::vector<std::string> words;
        while (!AtBoundary()) {
            const SqlToken& v = Peek();
            if (v.Kind == TokenKind::Variable) return Fail(MessageId::UndeclaredVariable, {v.Text});
            words.push_back(v.Kind == TokenKind::Word ? base::AsciiUpperCase(v.Text) : v.Text);
            ++pos_;
        }
        if (words.empty()) return SyntaxError();
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (i > 0 && words[i - 1] != "-") s.Value += ' ';
            s.Value += words[i];
        }
        const bool onOff = InList(kOnOffOptions, s.Options.front());
        if (onOff && s.Value != "ON" && s.Value != "OFF") {
            --pos_;
            return SyntaxError();
        }
        if (s.Options.size() > 1 && !onOff) return SyntaxError();
        return s;
    }

    std::optional<Statement> ParseUse() {
        if (!IsIdentifier()) return SyntaxError();
        UseStatement u{Peek().Text};
        ++pos_;
        return u;
    }

    // [db.][schema.]name, empty parts allowed ("master..sp_detach_db"); the last part.
    std::optional<std::string> ParseDottedName() {
        std::string last;
        bool have = false;
        while (true) {
            if (IsIdentifier()) {
                last = Peek().Text;
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
        if (Peek().Kind == TokenKind::Variable) return Fail(MessageId::UndeclaredVariable, {Peek().Text});
        if (IsPunct("(")) return Fail(MessageId::NotSupported, {"EXEC of a character string"});
        auto name = ParseDottedName();
        if (!name) return SyntaxError();
        e.Procedure = *name;
        if (AtBoundary()) return e;
        while (true) {
            ProcArgument a;
            if (Peek().Kind == TokenKind::Variable) {
                if (!IsPunct("=", 1)) return Fail(MessageId::UndeclaredVariable, {Peek().Text});
                a.Name = Peek().Text;
                pos_ += 2;
            }
            auto v = ParseValue();
            if (!v) return std::nullopt;
            a.Value = std::move(*v);
            if (IsWord("OUTPUT") || IsWord("OUT")) return Fail(MessageId::NotSupported, {"OUTPUT parameters"});
            e.Arguments.push_back(std::move(a));
            if (!Accept(",")) break;
        }
        if (!AtBoundary()) return SyntaxError();
        return e;
    }

    std::optional<SqlValue> ParseValue() {
        const SqlToken& v = Peek();
        SqlValue out;
        if (v.Kind == TokenKind::String) {
            out.Text = v.Text;
            out.Unicode = v.Unicode;
        } else if (v.Kind == TokenKind::Number) {
            out.Kind = ValueKind::Number;
            out.Text = v.Text;
        } else if (v.Kind == TokenKind::Punct && (v.Text == "-" || v.Text == "+") &&
                   Peek(1).Kind == TokenKind::Number) {
            out.Kind = ValueKind::Number;
            out.Text = (v.Text == "-" ? "-" : "") + Peek(1).Text;
            ++pos_;
        } else if (v.Kind == TokenKind::Word && base::EqualsIgnoringAsciiCase(v.Text, "NULL")) {
            out.Kind = ValueKind::Null;
        } else if (v.Kind == TokenKind::Word && base::EqualsIgnoringAsciiCase(v.Text, "DEFAULT")) {
            out.Kind = ValueKind::Default;
        } else if (v.Kind == TokenKind::Word || v.Kind == TokenKind::QuotedIdentifier) {
            out.Text = v.Text;  // SQL Server takes a bare identifier as a character string here
        } else if (v.Kind == TokenKind::Variable) {
            return Fail(MessageId::UndeclaredVariable, {v.Text});
        } else {
            return SyntaxError();
        }
        ++pos_;
        return out;
    }

    std::optional<Statement> ParseCreate() {
        if (!AcceptWord("DATABASE"))
            return Fail(MessageId::NotSupported, {"CREATE " + base::AsciiUpperCase(Peek().Text)});
        if (!IsIdentifier()) return SyntaxError();
        AttachStatement a{Peek().Text, {}};
        ++pos_;
        if (!AcceptWord("ON")) return Fail(MessageId::NotSupported, {"CREATE DATABASE without FOR ATTACH"});
        AcceptWord("PRIMARY");
        if (!ParseFileSpecs(a.Files)) return std::nullopt;
        if (AcceptWord("LOG")) {
            if (!AcceptWord("ON")) return SyntaxError();
            if (!ParseFileSpecs(a.Files)) return std::nullopt;
        }
        if (!AcceptWord("FOR")) return Fail(MessageId::NotSupported, {"CREATE DATABASE without FOR ATTACH"});
        if (!AcceptWord("ATTACH"))
            return Fail(MessageId::NotSupported, {"CREATE DATABASE FOR " + base::AsciiUpperCase(Peek().Text)});
        if (!AtBoundary()) return SyntaxError();
        return a;
    }

    // ( FILENAME = '...' [, NAME = x ...] ) [, ( ... )]*
    bool ParseFileSpecs(std::vector<std::string>& files) {
        do {
            if (!Accept("(")) return SyntaxError(), false;
            std::optional<std::string> file;
            do {
                if (Peek().Kind != TokenKind::Word) return SyntaxError(), false;
                const std::string key = base::AsciiUpperCase(Peek().Text);
                ++pos_;
                if (!Accept("=")) return SyntaxError(), false;
                auto v = ParseValue();
                if (!v) return false;
                if (key == "FILENAME") {
                    if (v->Kind != ValueKind::String) {
                        --pos_;
                        return SyntaxError(), false;
                    }
                    file = v->Text;
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
            s.Items.push_back(std::move(*item));
        } while (Accept(","));
        if (AcceptWord("FROM")) {
            const std::size_t start = pos_;
            std::vector<std::string> parts;
            while (true) {
                if (IsIdentifier()) {
                    parts.push_back(Peek().Text);
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
            for (std::size_t i = 0; i < parts.size(); ++i) s.SourceName += (i ? "." : "") + parts[i];
            const bool inMaster =
                parts.size() < 3 || parts[0].empty() || base::EqualsIgnoringAsciiCase(parts[0], "master");
            const bool sys = parts.size() >= 2 && base::EqualsIgnoringAsciiCase(parts[parts.size() - 2], "sys");
            if (parts.size() <= 3 && inMaster && sys && base::EqualsIgnoringAsciiCase(parts.back(), "databases"))
                s.Source = SelectSource::Databases;
            else if (parts.size() <= 3 && inMaster && sys &&
                     base::EqualsIgnoringAsciiCase(parts.back(), "master_files"))
                s.Source = SelectSource::MasterFiles;
            else
                return Fail(MessageId::InvalidObject, {s.SourceName});
            if (AcceptWord("WHERE") && !ParseWhere(s)) return std::nullopt;
            if (AcceptWord("ORDER")) {
                if (!AcceptWord("BY") || !IsIdentifier()) return SyntaxError();
                s.OrderBy = Peek().Text;
                ++pos_;
                if (AcceptWord("DESC"))
                    s.Descending = true;
                else
                    AcceptWord("ASC");
            }
        }
        if (!AtBoundary()) return SyntaxError();
        return s;
    }

    bool ParseWhere(SelectStatement& s) {
        if (!IsIdentifier()) return SyntaxError(), false;
        s.WhereColumn = Peek().Text;
        ++pos_;
        if (!Accept("=")) return SyntaxError(), false;
        if ((IsWord("DB_ID")) && IsPunct("(", 1)) {
            pos_ += 2;
            if (Peek().Kind != TokenKind::String) return SyntaxError(), false;
            s.WhereValue = Peek().Text;
            s.WhereDbIdOf = true;
            ++pos_;
            if (!Accept(")")) return SyntaxError(), false;
            return true;
        }
        if (Peek().Kind != TokenKind::String && Peek().Kind != TokenKind::Number) return SyntaxError(), false;
        s.WhereValue = Peek().Text;
        ++pos_;
        return true;
    }

    std::optional<SelectItem> ParseSelectItem() {
        SelectItem item;
        const SqlToken& v = Peek();
        if (v.Kind == TokenKind::SystemVariable) {
            item.Kind = SelectItemKind::System;
            item.Text = base::AsciiUpperCase(v.Text);
            ++pos_;
        } else if (v.Kind == TokenKind::Number && v.Text.find('.') == std::string::npos && v.Text.size() < 10) {
            item.Kind = SelectItemKind::Integer;
            item.Text = v.Text;
            ++pos_;
        } else if (v.Kind == TokenKind::String) {
            item.Kind = SelectItemKind::String;
            item.Text = v.Text;
            item.Unicode = v.Unicode;
            ++pos_;
        } else if (v.Kind == TokenKind::Word && IsPunct("(", 1) && InList(kSystemFunctions, v.Text)) {
            item.Kind = SelectItemKind::System;
            item.Text = base::AsciiUpperCase(v.Text) + "()";
            pos_ += 2;
            if (item.Text == "SERVERPROPERTY()") {
                if (Peek().Kind != TokenKind::String) return SyntaxError();
                item.Argument = Peek().Text;
                ++pos_;
            }
            if (!Accept(")"))
                return Fail(MessageId::NotSupported, {item.Text.substr(0, item.Text.size() - 2) + " with an argument"});
        } else if (IsPunct("*")) {
            item.Text = "*";
            ++pos_;
        } else if (IsIdentifier()) {
            if (IsPunct("(", 1)) return Fail(MessageId::NotSupported, {"function " + base::AsciiUpperCase(v.Text)});
            auto name = ParseDottedName();
            if (!name) return SyntaxError();
            item.Text = *name;
            item.Alias = *name;
        } else {
            return SyntaxError();
        }
        if (AcceptWord("AS")) {
            if (!IsIdentifier() && Peek().Kind != TokenKind::String) return SyntaxError();
            item.Alias = Peek().Text;
            ++pos_;
        } else if (IsIdentifier() && !AtBoundary() && !IsWord("FROM") && !IsWord("WHERE") && !IsWord("ORDER")) {
            item.Alias = Peek().Text;
            ++pos_;
        }
        if (item.Kind == SelectItemKind::Column && item.Text == "*" && !item.Alias.empty() && item.Alias != "*") {
            return SyntaxError();
        }
        return item;
    }

    std::vector<SqlToken> t_;
    std::size_t pos_ = 0;
    ServerMessage error_;
};

}  // namespace

ParsedBatch ParseSqlBatch(std::string_view sql, const Collation& collation) {
    LexResult lex = LexSql(sql, collation);
    if (lex.Error) return ParsedBatch{{}, lex.Error};
    return Parser(std::move(lex.Tokens)).Run();
}

}  // namespace standin
