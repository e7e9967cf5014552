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

struct SqlValue {
    enum class Kind { kString, kNumber, kNull, kDefault } kind = Kind::kString;
    std::string text;
    bool unicode = false;  // an N'...' literal
};

struct ProcArgument {
    std::string name;  // "@dbname" as written (empty for a positional argument)
    SqlValue value;
};

struct SetStatement {
    std::vector<std::string> options;  // upper case, e.g. {"ANSI_NULLS", "ANSI_WARNINGS"}
    std::string value;                 // the rest, upper case words joined by spaces
};

struct UseStatement {
    std::string database;
};

struct ExecStatement {
    std::string procedure;  // the last part of a dotted name, as written
    std::vector<ProcArgument> arguments;
};

struct AttachStatement {  // CREATE DATABASE x ON (FILENAME = ...), ... FOR ATTACH
    std::string database;
    std::vector<std::string> files;
};

enum class SelectSource { kNone, kDatabases, kMasterFiles };

struct SelectItem {
    // kSystem: an @@variable or a built-in function without a table (DB_NAME(), USER_NAME(),
    // SUSER_SNAME(), SERVERPROPERTY('x')); text names it in upper case, argument holds x.
    enum class Kind { kColumn, kSystem, kInteger, kString } kind = Kind::kColumn;
    std::string text;      // column name, literal, or the system value's name
    std::string argument;  // SERVERPROPERTY's property name
    bool unicode = false;  // N'...' literal (nvarchar), else varchar
    std::string alias;     // result column name, empty for SQL Server's "no column name"
};

struct SelectStatement {
    std::vector<SelectItem> items;
    SelectSource source = SelectSource::kNone;
    std::string source_name;  // as written, for error texts
    // WHERE column = value; for database_id = DB_ID(N'x') the value is x and by_db_id is set.
    std::optional<std::string> where_column;
    std::string where_value;
    bool where_db_id_of = false;
    std::optional<std::string> order_by;
    bool descending = false;
};

using Statement = std::variant<SetStatement, UseStatement, ExecStatement, AttachStatement, SelectStatement>;

struct ParsedBatch {
    std::vector<Statement> statements;
    std::optional<SqlError> error;
};

// Parses a whole batch (UTF-8); literals without N pass through the collation's code
// page. Either statements or an error, never both.
ParsedBatch ParseSqlBatch(std::string_view sql, const Collation& collation = Collation::Default());

}  // namespace standin
