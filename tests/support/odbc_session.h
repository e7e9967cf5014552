// A plain ODBC session for tests that check a server through FreeTDS's ODBC driver, apart
// from the connection layer under test: natively through unixODBC, under Wine through
// odbc32. Text is UTF-8 on both sides; the W functions carry it (Wine's odbc32 has no A
// function for some calls). The handles are db/'s owners; the connection goes before its
// environment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/odbc_handles.h"

namespace dorvane::test {

// The first diagnostic record of a handle.
struct OdbcDiagnostic {
    long Native = 0;
    std::string State;
    std::string Text;  // "(no diagnostic record)" when the driver gave none
};

// What one statement gave: success, or the first diagnostic; the first column of every
// row of its first result (NULL as "NULL").
struct OdbcResult {
    bool Ok = false;
    OdbcDiagnostic Error;
    std::vector<std::string> Rows;
};

// FreeTDS's ODBC driver as Debian's tdsodbc installs it: native tests name it by its file,
// so they need no odbcinst entry.
inline constexpr char kFreeTdsDriverFile[] = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

// An ODBC connection string to a stand-in on 127.0.0.1 as sa with an empty password, in
// master, through FreeTDS (`driver`: its odbcinst name in braces or its library's path).
std::string StandinConnectionString(int port, std::string_view driver = "{FreeTDS}");

class OdbcSession {
public:
    // Connects; on failure Connected() is false and Error() tells why.
    explicit OdbcSession(const std::string& connectionString, int loginTimeoutSeconds = 10);
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    bool Connected() const { return connected_; }
    const OdbcDiagnostic& Error() const { return error_; }

    // Runs a statement, directly or through SQLPrepare and SQLExecute. A statement
    // without a result set succeeds too (FreeTDS answers SQL_NO_DATA); an error in a later
    // result (a procedure's, after its row counts) is a failure.
    OdbcResult Run(std::string_view sql, bool prepare = false);

private:
    db::odbc::Handle<SQL_HANDLE_ENV> env_;
    db::odbc::Handle<SQL_HANDLE_DBC> dbc_;
    bool connected_ = false;
    OdbcDiagnostic error_;
};

}  // namespace dorvane::test
