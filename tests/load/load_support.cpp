#include "tests/load/load_support.h"

namespace dorvane::test {
namespace {

constexpr const char* kDriver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

}  // namespace

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &h_))) h_ = SQL_NULL_HANDLE;
}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& o) noexcept {
    if (this != &o) {
        if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, h_);
        type_ = o.type_;
        h_ = std::exchange(o.h_, SQLHANDLE{});
    }
    return *this;
}

OdbcHandle::~OdbcHandle() {
    if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, h_);
}

Diagnostic FirstDiagnostic(const OdbcHandle& h) {
    Diagnostic d;
    SQLCHAR state[6] = {}, text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (SQL_SUCCEEDED(SQLGetDiagRec(h.Type(), h.Get(), 1, state, &native, text, sizeof text, &len))) {
        d.native = native;
        d.state = reinterpret_cast<char*>(state);
        d.text = reinterpret_cast<char*>(text);
    } else {
        d.text = "(no diagnostic record)";
    }
    return d;
}

Session::Session(int port, int loginTimeoutSeconds) : env_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    if (!env_) {
        error_.text = "SQLAllocHandle(ENV) failed";
        return;
    }
    SQLSetEnvAttr(env_.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    dbc_ = OdbcHandle(SQL_HANDLE_DBC, env_.Get());
    if (!dbc_) {
        error_ = FirstDiagnostic(env_);
        return;
    }
    SQLSetConnectAttr(dbc_.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(loginTimeoutSeconds)), 0);
    const std::string text = std::string("DRIVER=") + kDriver + ";SERVER=127.0.0.1;PORT=" + std::to_string(port) +
                             ";UID=sa;PWD=;DATABASE=master;TDS_Version=7.4";
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN r = SQLDriverConnect(dbc_.Get(), nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                         SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(r);
    if (!connected_) error_ = FirstDiagnostic(dbc_);
}

Session::~Session() {
    if (connected_) SQLDisconnect(dbc_.Get());
    dbc_ = OdbcHandle();  // the connection before its environment
}

Outcome Session::Run(const std::string& sql) {
    Outcome out;
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
    if (!stmt) {
        out.error = FirstDiagnostic(dbc_);
        return out;
    }
    const SQLRETURN r = SQLExecDirect(stmt.Get(), (SQLCHAR*)sql.c_str(), SQL_NTS);
    // FreeTDS answers SQL_NO_DATA for a statement without a result set.
    out.ok = SQL_SUCCEEDED(r) || r == SQL_NO_DATA;
    if (!out.ok) {
        out.error = FirstDiagnostic(stmt);
        return out;
    }
    SQLSMALLINT cols = 0;
    SQLNumResultCols(stmt.Get(), &cols);
    while (cols > 0 && SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
        char buf[1024] = {};
        SQLLEN ind = 0;
        SQLGetData(stmt.Get(), 1, SQL_C_CHAR, buf, sizeof buf, &ind);
        out.rows.emplace_back(ind == SQL_NULL_DATA ? "NULL" : buf);
    }
    // Later results carry errors too (a procedure's error after its row counts).
    SQLRETURN more;
    while ((more = SQLMoreResults(stmt.Get())) == SQL_SUCCESS || more == SQL_SUCCESS_WITH_INFO) {
    }
    if (more == SQL_ERROR) {
        out.ok = false;
        out.error = FirstDiagnostic(stmt);
    }
    return out;
}

}  // namespace dorvane::test
