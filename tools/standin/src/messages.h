// SQL Server's own message numbers, severities and texts that the stand-in reports,
// with the names substituted the way SQL Server substitutes its %ls/%.*ls arguments.
#pragma once

#include <string>
#include <string_view>

namespace standin {

inline constexpr int kErrSyntax = 102;                // severity 15
inline constexpr int kErrUnclosedQuote = 105;         // severity 15
inline constexpr int kErrMissingEndComment = 113;     // severity 15
inline constexpr int kErrUndeclaredVariable = 137;    // severity 15
inline constexpr int kErrUnknownSetOption = 195;      // severity 15
inline constexpr int kErrParameterNotSupplied = 201;  // severity 16
inline constexpr int kErrInvalidColumn = 207;         // severity 16
inline constexpr int kErrInvalidObject = 208;         // severity 16
inline constexpr int kErrDatabaseNotFoundUse = 911;   // severity 16
inline constexpr int kErrDatabaseExists = 1801;       // severity 16
inline constexpr int kErrProcedureNotFound = 2812;    // severity 16
inline constexpr int kErrDatabaseInUse = 3703;        // severity 16
inline constexpr int kErrSystemDatabase = 3708;       // severity 16
inline constexpr int kErrCannotOpenDatabase = 4060;   // severity 11
inline constexpr int kErrCannotOpenFile = 5120;       // severity 16
inline constexpr int kErrTooManyArguments = 8144;     // severity 16
inline constexpr int kErrNotAParameter = 8145;        // severity 16
inline constexpr int kErrDatabaseNotFound = 15010;    // severity 16
inline constexpr int kErrLoginFailed = 18456;         // severity 14
// Statements this server does not implement. 50000 is SQL Server's number for messages
// without a catalogued number, which this one is.
inline constexpr int kErrNotSupported = 50000;

inline constexpr int kInfoDatabaseChanged = 5701;
inline constexpr int kInfoLanguageChanged = 5703;

inline constexpr std::string_view kTextMissingEndComment = "Missing end comment mark '*/'.";

std::string FormatSyntaxError(std::string_view near);
std::string FormatUnclosedQuote(std::string_view rest);
std::string FormatUndeclaredVariable(std::string_view name);
std::string FormatUnknownSetOption(std::string_view option);
std::string FormatParameterNotSupplied(std::string_view procedure, std::string_view parameter);
std::string FormatInvalidColumn(std::string_view column);
std::string FormatInvalidObject(std::string_view object);
std::string FormatDatabaseNotFoundUse(std::string_view name);
std::string FormatDatabaseExists(std::string_view name);
std::string FormatProcedureNotFound(std::string_view name);
std::string FormatDatabaseInUse(std::string_view name);
std::string FormatSystemDatabase(std::string_view name);
std::string FormatCannotOpenDatabase(std::string_view name);
std::string FormatCannotOpenFile(std::string_view path);
std::string FormatTooManyArguments(std::string_view procedure);
std::string FormatNotAParameter(std::string_view parameter, std::string_view procedure);
std::string FormatDatabaseNotFound(std::string_view name);
std::string FormatLoginFailed(std::string_view user);
std::string FormatNotSupported(std::string_view what);
std::string FormatDatabaseChanged(std::string_view name);
std::string FormatLanguageChanged(std::string_view language);

}  // namespace standin
