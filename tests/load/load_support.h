// What the load test needs around the stand-in: FreeTDS's ODBC driver through unixODBC
// with owned handles (the data folder and the server process are the stand-in tests').
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/standin/tests/standin_process.h"

namespace dorvane::test {

// One ODBC handle of any type, freed once.
class OdbcHandle {
public:
    OdbcHandle() = default;
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    OdbcHandle(OdbcHandle&& o) noexcept : type_(o.type_), h_(std::exchange(o.h_, SQLHANDLE{})) {}
    OdbcHandle& operator=(OdbcHandle&& o) noexcept;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    ~OdbcHandle();
    SQLHANDLE Get() const { return h_; }
    SQLSMALLINT Type() const { return type_; }
    explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }

private:
    SQLSMALLINT type_ = SQL_HANDLE_ENV;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// The first diagnostic record of a handle: native error number and message text.
struct Diagnostic {
    long native = 0;
    std::string state;
    std::string text;
};
Diagnostic FirstDiagnostic(const OdbcHandle& h);

// The result of one statement: success, or the server's first diagnostic, and the
// first column of every row of the first result.
struct Outcome {
    bool ok = false;
    Diagnostic error;
    std::vector<std::string> rows;
};

// A logged-in session through FreeTDS's ODBC driver (named by its file, so no odbcinst
// entry is needed); disconnected and freed by the destructor, connection before
// environment.
class Session {
public:
    // Connects as sa with an empty password to master; on failure Connected() is false
    // and Error() tells why.
    Session(int port, int loginTimeoutSeconds = 10);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool Connected() const { return connected_; }
    const Diagnostic& Error() const { return error_; }
    Outcome Run(const std::string& sql);

private:
    OdbcHandle env_;
    OdbcHandle dbc_;
    bool connected_ = false;
    Diagnostic error_;
};

}  // namespace dorvane::test
