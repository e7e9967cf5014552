#include "db/odbc_handles.h"

#include <utility>

namespace db::odbc {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(wchar_t), "ODBC's wide characters are UTF-16 here");

std::wstring FromWide(const SQLWCHAR* text, size_t length) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text), length);
}

}  // namespace

Environment Environment::Create() {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw);
    if (!Succeeded(rc)) {
        throw Error(L"The ODBC environment could not be created (SQLAllocHandle returned " + std::to_wstring(rc) +
                    L").");
    }
    Environment environment;
    environment.handle_ = Handle<SQL_HANDLE_ENV>(raw);
    Check(
        SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0),
        SQL_HANDLE_ENV, raw, L"Setting ODBC version 3");
    return environment;
}

ConnectionHandle ConnectionHandle::Create(const Environment& environment) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    Check(SQLAllocHandle(SQL_HANDLE_DBC, environment.get(), &raw), SQL_HANDLE_ENV, environment.get(),
          L"Allocating an ODBC connection");
    ConnectionHandle connection;
    connection.handle_ = Handle<SQL_HANDLE_DBC>(raw);
    return connection;
}

ConnectionHandle::ConnectionHandle(ConnectionHandle&& other) noexcept
    : handle_(std::move(other.handle_)), connected_(std::exchange(other.connected_, false)) {}

ConnectionHandle& ConnectionHandle::operator=(ConnectionHandle&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = std::move(other.handle_);
        connected_ = std::exchange(other.connected_, false);
    }
    return *this;
}

void ConnectionHandle::reset() noexcept {
    // Ending the session cannot be reported from here; the handle is freed regardless.
    if (connected_) SQLDisconnect(handle_.get());
    connected_ = false;
    handle_.reset();
}

StatementHandle AllocateStatement(const ConnectionHandle& connection) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &raw), SQL_HANDLE_DBC, connection.get(),
          L"Allocating an ODBC statement");
    return StatementHandle(raw);
}

std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagnosticRecord> records;
    if (handle == SQL_NULL_HANDLE) return records;
    for (SQLSMALLINT number = 1;; ++number) {
        SQLWCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        std::vector<SQLWCHAR> message(512);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, number, state, &nativeError, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<size_t>(length) + 1);  // the text was cut: read it whole
            rc = SQLGetDiagRecW(handleType, handle, number, state, &nativeError, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!Succeeded(rc)) break;  // SQL_NO_DATA after the last record
        DiagnosticRecord record;
        record.SqlState = FromWide(state, 5);
        record.NativeError = nativeError;
        size_t used = length < 0 ? 0 : static_cast<size_t>(length);
        if (used >= message.size()) used = message.size() - 1;
        record.Message = FromWide(message.data(), used);
        while (!record.Message.empty() && (record.Message.back() == L'\n' || record.Message.back() == L'\r')) {
            record.Message.pop_back();
        }
        records.push_back(std::move(record));
    }
    return records;
}

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, std::wstring_view what) {
    if (Succeeded(rc) || rc == SQL_NO_DATA) return;
    throw Error(ReadDiagnostics(handleType, handle), std::wstring(what) + L" failed (ODBC return code " +
                                                         std::to_wstring(rc) +
                                                         L") and the driver gave no diagnostic record.");
}

}  // namespace db::odbc
