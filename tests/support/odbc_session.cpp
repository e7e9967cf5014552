#include "tests/support/odbc_session.h"

#include <cstdint>

#include "base/text.h"

namespace dorvane::test {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC's wide characters are UTF-16");

// UTF-8 to the UTF-16 the W functions take (base's wide strings are UTF-32 natively).
std::u16string ToSql(std::string_view utf8) {
    std::u16string out;
    for (const wchar_t c : base::FromUtf8(utf8)) {
        auto code = static_cast<std::uint32_t>(c);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            code = 0xDC00 + (code & 0x3FF);
        }
        out += static_cast<char16_t>(code);
    }
    return out;
}

std::string FromSql(const SQLWCHAR* text) {
    std::wstring wide;
    for (const SQLWCHAR* p = text; *p != 0; ++p) {
        std::uint32_t code = *p;
        if (sizeof(wchar_t) == 4 && code >= 0xD800 && code <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (*++p - 0xDC00);
        }
        wide += static_cast<wchar_t>(code);
    }
    return base::ToUtf8(wide);
}

SQLWCHAR* Sql(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

OdbcDiagnostic FirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    OdbcDiagnostic d;
    SQLWCHAR state[6] = {}, text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, text, 1024, &length))) {
        d.Native = native;
        d.State = FromSql(state);
        d.Text = FromSql(text);
    } else {
        d.Text = "(no diagnostic record)";
    }
    return d;
}

template <SQLSMALLINT Type>
db::odbc::Handle<Type> Allocate(SQLHANDLE parent) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(Type, parent, &raw))) raw = SQL_NULL_HANDLE;
    return db::odbc::Handle<Type>(raw);
}

}  // namespace

std::string StandinConnectionString(int port, std::string_view driver) {
    return "DRIVER=" + std::string(driver) + ";SERVER=127.0.0.1;PORT=" + std::to_string(port) +
           ";UID=sa;PWD=;DATABASE=master;TDS_Version=7.4";
}

OdbcSession::OdbcSession(const std::string& connectionString, int loginTimeoutSeconds)
    : env_(Allocate<SQL_HANDLE_ENV>(SQL_NULL_HANDLE)) {
    if (!env_) {
        error_.Text = "SQLAllocHandle(ENV) failed";
        return;
    }
    SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    dbc_ = Allocate<SQL_HANDLE_DBC>(env_.get());
    if (!dbc_) {
        error_ = FirstDiagnostic(SQL_HANDLE_ENV, env_.get());
        return;
    }
    SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(loginTimeoutSeconds)), 0);
    std::u16string text = ToSql(connectionString);
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    connected_ = SQL_SUCCEEDED(
        SQLDriverConnectW(dbc_.get(), nullptr, Sql(text), SQL_NTS, out, 1024, &outLength, SQL_DRIVER_NOPROMPT));
    if (!connected_) error_ = FirstDiagnostic(SQL_HANDLE_DBC, dbc_.get());
}

OdbcSession::~OdbcSession() {
    if (connected_) SQLDisconnect(dbc_.get());
    dbc_.reset();  // the connection before its environment
}

OdbcResult OdbcSession::Run(std::string_view sql, bool prepare) {
    OdbcResult result;
    const auto stmt = Allocate<SQL_HANDLE_STMT>(dbc_.get());
    if (!stmt) {
        result.Error = FirstDiagnostic(SQL_HANDLE_DBC, dbc_.get());
        return result;
    }
    std::u16string text = ToSql(sql);
    SQLRETURN r = prepare ? SQLPrepareW(stmt.get(), Sql(text), SQL_NTS) : SQL_SUCCESS;
    if (SQL_SUCCEEDED(r)) r = prepare ? SQLExecute(stmt.get()) : SQLExecDirectW(stmt.get(), Sql(text), SQL_NTS);
    result.Ok = SQL_SUCCEEDED(r) || r == SQL_NO_DATA;
    if (!result.Ok) {
        result.Error = FirstDiagnostic(SQL_HANDLE_STMT, stmt.get());
        return result;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt.get(), &columns);
    while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
        SQLWCHAR buffer[1024] = {};
        SQLLEN indicator = 0;
        SQLGetData(stmt.get(), 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        result.Rows.push_back(indicator == SQL_NULL_DATA ? "NULL" : FromSql(buffer));
    }
    SQLRETURN more;
    while ((more = SQLMoreResults(stmt.get())) == SQL_SUCCESS || more == SQL_SUCCESS_WITH_INFO) {
    }
    if (more == SQL_ERROR) {
        result.Ok = false;
        result.Error = FirstDiagnostic(SQL_HANDLE_STMT, stmt.get());
    }
    return result;
}

}  // namespace dorvane::test
