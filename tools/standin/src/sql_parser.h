// The statements the stand-in understands, and the parser that turns a SQL batch into
// them. A batch that does not parse is refused as a whole, the way SQL Server refuses a
// batch that does not compile: no statement of it runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/standin/src/sql_lexer.h"

namespace standin {

enum class ValueKind { String, Number, Null, Default };

struct SqlValue {
    ValueKind Kind = ValueKind::String;
    std::string Text;
    bool Unicode = false;  // an N'...' literal
};

struct ProcArgument {
    std::string Name;  // "@dbname" as written (empty for a positional argument)
    SqlValue Value;
};

struct SetStatement {
    std::vector<std::string> Options;  // upper case, e.g. {"ANSI_NULLS", "ANSI_WARNINGS"}
    std::string Value;                 // the rest, upper case words joined by spaces
};

struct UseStatement {
    std::string Database;
};

struct ExecStatement {
    std::string Procedure;  // the last part of a dotted name, as written
    std::vector<ProcArgument> Arguments;
};

struct AttachStatement {  // CREATE DATABASE x ON (FILENAME = ...), ... FOR ATTACH
    std::string Database;
    std::vector<std::string> Files;
};

enum class SelectSource { None, Databases, MasterFiles };

// System: an @@variable or a built-in function without a table (DB_NAME(), USER_NAME(),
// SUSER_SNAME(), SERVERPROPERTY('x')); the item's text names it in upper case, its
// argument holds x.
enum class SelectItemKind { Column, System, Integer, String };

struct SelectItem {
    SelectItemKind Kind = SelectItemKind::Column;
    std::string Text;      // column name, literal, or the system value's name
    std::string Argument;  // SERVERPROPERTY's property name
    bool Unicode = false;  // N'...' literal (nvarchar), else varchar
    std::string Alias;     // result column name, empty for SQL Server's "no column name"
};

struct SelectStatement {
    std::vector<SelectItem> Items;
    SelectSource Source = SelectSource::None;
    std::string SourceName;  // as written, for error texts
    // WHERE column = value; for database_id = DB_ID(N'x') the value is x and WhereDbIdOf is set.
    std::optional<std::string> WhereColumn;
    std::string WhereValue;
    bool WhereDbIdOf = false;
    std::optional<std::string> OrderBy;
    bool Descending = false;
};

using Statement = std::variant<SetStatement, UseStatement, ExecStatement, AttachStatement, SelectStatement>;

struct ParsedBatch {
    std::vector<Statement> Statements;
    std::optional<ServerMessage> Error;
};

// Parses a whole batch (UTF-8); literals without N pass through the collation's code
// page. Either statements or an error, never both.
ParsedBatch ParseSqlBatch(std::string_view sql, const Collation& collation = Collation::Default());

}  // namespace standin
