// Owners of ODBC handles (Windows): one move-only type per handle kind, each freeing its
// handle exactly once, plus the reading of diagnostic records into db::Error.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "db/error.h"

namespace db::odbc {

// Owns one handle of type `Type` (SQL_HANDLE_ENV, SQL_HANDLE_DBC or SQL_HANDLE_STMT).
template <SQLSMALLINT Type>
class Handle {
public:
    Handle() = default;
    explicit Handle(SQLHANDLE handle) noexcept : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }
    ~Handle() { Reset(); }

    SQLHANDLE Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != SQL_NULL_HANDLE; }
    SQLHANDLE Release() noexcept {
        SQLHANDLE handle = handle_;
        handle_ = SQL_NULL_HANDLE;
        return handle;
    }
    void Reset() noexcept {
        // Nothing to report from a destructor path: a failing free leaves nothing to undo.
        if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, handle_);
        handle_ = SQL_NULL_HANDLE;
    }

private:
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using StatementHandle = Handle<SQL_HANDLE_STMT>;

// An ODBC 3 environment.
class Environment {
public:
    // Allocates the environment and declares ODBC 3 behaviour. Throws db::Error.
    static Environment Create();
    SQLHENV Get() const noexcept { return handle_.Get(); }

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
    ~ConnectionHandle() { Reset(); }

    SQLHDBC Get() const noexcept { return handle_.Get(); }
    bool Connected() const noexcept { return connected_; }
    // Called after a successful SQLDriverConnectW.
    void MarkConnected() noexcept { connected_ = true; }
    void Reset() noexcept;

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
