#include "tools/standin/src/messages.h"

namespace standin {
namespace {

std::string Join(std::string_view a, std::string_view b, std::string_view c) {
    std::string s(a);
    s += b;
    s += c;
    return s;
}

}  // namespace

std::string FormatSyntaxError(std::string_view near) { return Join("Incorrect syntax near '", near, "'."); }

std::string FormatUnclosedQuote(std::string_view rest) {
    return Join("Unclosed quotation mark after the character string '", rest, "'.");
}

std::string FormatUndeclaredVariable(std::string_view name) {
    return Join("Must declare the scalar variable \"", name, "\".");
}

std::string FormatUnknownSetOption(std::string_view option) {
    return Join("'", option, "' is not a recognized SET option.");
}

std::string FormatParameterNotSupplied(std::string_view procedure, std::string_view parameter) {
    return Join("Procedure or function '", procedure,
                Join("' expects parameter '", parameter, "', which was not supplied."));
}

std::string FormatInvalidColumn(std::string_view column) { return Join("Invalid column name '", column, "'."); }
std::string FormatInvalidObject(std::string_view object) { return Join("Invalid object name '", object, "'."); }

std::string FormatDatabaseNotFoundUse(std::string_view name) {
    return Join("Database '", name, "' does not exist. Make sure that the name is entered correctly.");
}

std::string FormatDatabaseExists(std::string_view name) {
    return Join("Database '", name, "' already exists. Choose a different database name.");
}

std::string FormatProcedureNotFound(std::string_view name) {
    return Join("Could not find stored procedure '", name, "'.");
}

std::string FormatDatabaseInUse(std::string_view name) {
    return Join("Cannot detach the database '", name, "' because it is currently in use.");
}

std::string FormatSystemDatabase(std::string_view name) {
    return Join("Cannot detach the database '", name, "' because it is a system database.");
}

std::string FormatCannotOpenDatabase(std::string_view name) {
    return Join("Cannot open database \"", name, "\" requested by the login. The login failed.");
}

std::string FormatCannotOpenFile(std::string_view path) {
    return Join("Unable to open the physical file \"", path,
                "\". Operating system error 2: \"2(The system cannot find the file specified.)\".");
}

std::string FormatTooManyArguments(std::string_view procedure) {
    return Join("Procedure or function ", procedure, " has too many arguments specified.");
}

std::string FormatNotAParameter(std::string_view parameter, std::string_view procedure) {
    return Join(parameter, " is not a parameter for procedure ", Join(procedure, ".", ""));
}

std::string FormatDatabaseNotFound(std::string_view name) {
    return Join("The database '", name,
                "' does not exist. Supply a valid database name. To see available databases, use sys.databases.");
}

std::string FormatLoginFailed(std::string_view user) { return Join("Login failed for user '", user, "'."); }

std::string FormatNotSupported(std::string_view what) {
    return Join("statement not supported by the stand-in server: ", what, "");
}

std::string FormatDatabaseChanged(std::string_view name) { return Join("Changed database context to '", name, "'."); }

std::string FormatLanguageChanged(std::string_view language) {
    return Join("Changed language setting to ", language, ".");
}

}  // namespace standin
