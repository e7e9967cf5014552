// Owners of ODBC handles: base::UniqueHandle with ODBC's traits, one instance per handle
// kind, each freeing its handle exactly once; plus the reading of diagnostic records into
// db::Error. The owners are header-only and platform-neutral (the test supports use them
// against unixODBC too); the functions are built for Windows, in dorvane_db.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/unique_handle.h"
#include "db/error.h"

namespace db::odbc {

// How an ODBC handle of type `Type` (SQL_HANDLE_ENV, SQL_HANDLE_DBC or SQL_HANDLE_STMT)
// is freed. Nothing to report from a destructor path: a failing free leaves nothing to undo.
template <SQLSMALLINT Type>
struct HandleTraits {
    static SQLHANDLE Invalid() noexcept { return SQL_NULL_HANDLE; }
    static void Close(SQLHANDLE handle) noexcept { SQLFreeHandle(Type, handle); }
};

// Owns one handle of type `Type`.
template <SQLSMALLINT Type>
using Handle = base::UniqueHandle<SQLHANDLE, HandleTraits<Type>>;

using StatementHandle = Handle<SQL_HANDLE_STMT>;

// An ODBC 3 environment.
class Environment {
public:
    // Allocates the environment and declares ODBC 3 behaviour. Throws db::Error.
    static Environment Create();
    SQLHENV get() const noexcept { return handle_.get(); }

private:
    Handle<SQL_HANDLE_ENV> handle_;
};

// A connection handle; when connected, it is disconnected before it is freed.
class ConnectionHandle {
public:
    ConnectionHandle() = default;
    // Allocates a connection handle in `environment`. Throws db::Error.
    static ConnectionHandle Create(const Environment& environment);
    ConnectionHandle(ConnectionHandle&& other) noexcept;
    ConnectionHandle& operator=(ConnectionHandle&& other) noexcept;
    ConnectionHandle(const ConnectionHandle&) = delete;
    ConnectionHandle& operator=(const ConnectionHandle&) = delete;
    ~ConnectionHandle() { reset(); }

    SQLHDBC get() const noexcept { return handle_.get(); }
    bool Connected() const noexcept { return connected_; }
    // Called after a successful SQLDriverConnectW.
    void MarkConnected() noexcept { connected_ = true; }
    void reset() noexcept;

private:
    Handle<SQL_HANDLE_DBC> handle_;
    bool connected_ = false;
};

// A statement handle on `connection`. Throws db::Error.
StatementHandle AllocateStatement(const ConnectionHandle& connection);

// Every diagnostic record of `handle`, in order.
std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// Throws db::Error with the records of `handle` when `rc` is a failure; `what` names the
// failed step in the text used when the driver gives no record.
void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, std::wstring_view what);

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The SQLWCHAR view of a wide string (SQLWCHAR is wchar_t's size on Windows).
inline SQLWCHAR* Wide(std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

}  // namespace db::odbc
