// The messages the stand-in sends, as SQL Server's catalog of messages has them: number,
// severity and text. In the text, %1, %2, ... stand where SQL Server substitutes its
// arguments (%.*ls, %d). Every ERROR and INFO token the stand-in writes is built from
// this table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace standin {

// One message as a client receives it in an ERROR or INFO token.
struct ServerMessage {
    std::int32_t Number = 0;
    std::uint8_t State = 1;
    std::uint8_t Severity = 0;  // "class": up to 10 INFO, above ERROR
    std::string Text;
    std::string Procedure;
    std::int32_t Line = 1;
};

enum class MessageId {
    // Reading a batch (the lexer and the parser)
    SyntaxError,
    UnclosedQuote,
    MissingEndComment,
    UndeclaredVariable,
    UnknownSetOption,
    InvalidObject,
    // Running statements
    InvalidColumn,
    NoTableToSelectFrom,
    DatabaseNotFoundForUse,
    DatabaseChanged,
    LanguageChanged,
    // Calling procedures
    ParameterNotSupplied,
    ProcedureNotFound,
    TooManyArguments,
    NotAParameter,
    PreparedStatementNotFound,
    // The catalog: attach and detach
    DatabaseExists,
    DatabaseInUse,
    SystemDatabase,
    FileNotFound,
    FileInUse,
    DatabaseNotFound,
    // Logging in
    CannotOpenDatabase,
    LoginFailed,
    // Statements this server does not implement.
    NotSupported,
};

struct MessageDefinition {
    MessageId Id;
    std::int32_t Number;
    std::uint8_t Severity;
    std::string_view Text;
};

// A row a message, in the order of MessageId: its id, number and severity, then its text.
// clang-format off
inline constexpr MessageDefinition kMessages[] = {
    // Reading a batch (the lexer and the parser)
    {MessageId::SyntaxError, 102, 15,
     "Incorrect syntax near '%1'."},
    {MessageId::UnclosedQuote, 105, 15,
     "Unclosed quotation mark after the character string '%1'."},
    {MessageId::MissingEndComment, 113, 15,
     "Missing end comment mark '*/'."},
    {MessageId::UndeclaredVariable, 137, 15,
     "Must declare the scalar variable \"%1\"."},
    {MessageId::UnknownSetOption, 195, 15,
     "'%1' is not a recognized SET option."},
    {MessageId::InvalidObject, 208, 16,
     "Invalid object name '%1'."},
    // Running statements
    {MessageId::InvalidColumn, 207, 16,
     "Invalid column name '%1'."},
    {MessageId::NoTableToSelectFrom, 263, 16,
     "Must specify table to select from."},
    {MessageId::DatabaseNotFoundForUse, 911, 16,
     "Database '%1' does not exist. Make sure that the name is entered correctly."},
    {MessageId::DatabaseChanged, 5701, 0,
     "Changed database context to '%1'."},
    {MessageId::LanguageChanged, 5703, 0,
     "Changed language setting to %1."},
    // Calling procedures
    {MessageId::ParameterNotSupplied, 201, 16,
     "Procedure or function '%1' expects parameter '%2', which was not supplied."},
    {MessageId::ProcedureNotFound, 2812, 16,
     "Could not find stored procedure '%1'."},
    {MessageId::TooManyArguments, 8144, 16,
     "Procedure or function %1 has too many arguments specified."},
    {MessageId::NotAParameter, 8145, 16,
     "%1 is not a parameter for procedure %2."},
    {MessageId::PreparedStatementNotFound, 8179, 16,
     "Could not find prepared statement with handle %1."},
    // The catalog: attach and detach
    {MessageId::DatabaseExists, 1801, 16,
     "Database '%1' already exists. Choose a different database name."},
    {MessageId::DatabaseInUse, 3703, 16,
     "Cannot detach the database '%1' because it is currently in use."},
    {MessageId::SystemDatabase, 3708, 16,
     "Cannot detach the database '%1' because it is a system database."},
    {MessageId::FileNotFound, 5120, 16,
     "Unable to open the physical file \"%1\". Operating system error 2: "
     "\"2(The system cannot find the file specified.)\"."},
    {MessageId::FileInUse, 5120, 16,
     "Unable to open the physical file \"%1\". Operating system error 32: "
     "\"32(The process cannot access the file because it is being used by another process.)\"."},
    {MessageId::DatabaseNotFound, 15010, 16,
     "The database '%1' does not exist. Supply a valid database name. "
     "To see available databases, use sys.databases."},
    // Logging in
    {MessageId::CannotOpenDatabase, 4060, 11,
     "Cannot open database \"%1\" requested by the login. The login failed."},
    {MessageId::LoginFailed, 18456, 14,
     "Login failed for user '%1'."},
    // Statements this server does not implement. 50000 is SQL Server's number for a message
    // without a catalogued number, which this one is.
    {MessageId::NotSupported, 50000, 16,
     "statement not supported by the stand-in server: %1"},
};
// clang-format on

// The table's entry for id (the table is in the order of MessageId).
constexpr const MessageDefinition& Definition(MessageId id) { return kMessages[static_cast<std::size_t>(id)]; }

// The message with each %N of its text replaced by the Nth argument: state 1, line 1, no
// procedure.
ServerMessage MakeMessage(MessageId id, std::initializer_list<std::string_view> arguments = {});

}  // namespace standin
