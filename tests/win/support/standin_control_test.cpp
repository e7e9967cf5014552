// A stand-in started through the supervisor from a Windows program, reached the way
// Dorvane reaches SQL Server under Wine: odbc32 -> unixODBC -> FreeTDS -> TCP.
#include <gtest/gtest.h>
#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "tests/win/support/standin_control.h"

namespace dorvane::test {
namespace {

class OdbcHandle {
public:
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &h_))) h_ = SQL_NULL_HANDLE;
    }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    ~OdbcHandle() {
        if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, h_);
    }
    SQLHANDLE Get() const { return h_; }
    SQLSMALLINT Type() const { return type_; }

private:
    SQLSMALLINT type_;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

struct Diag {
    SQLINTEGER native = 0;
    std::wstring text;
};

std::string Narrow(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

Diag FirstDiag(const OdbcHandle& h) {
    Diag d;
    SQLWCHAR state[6] = {}, text[1024] = {};
    SQLSMALLINT len = 0;
    SQLGetDiagRecW(h.Type(), h.Get(), 1, state, &d.native, text, 1024, &len);
    d.text = reinterpret_cast<wchar_t*>(text);
    return d;
}

// A folder under %TEMP% made with Win32 calls, removed with the files it holds.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"dorvane-standin-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(path_.c_str());
    }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

class Connection {
public:
    explicit Connection(int port) {
        std::wstring cs = L"DRIVER={FreeTDS};SERVER=127.0.0.1," + std::to_wstring(port) +
                          L";UID=sa;PWD=;DATABASE=master;TDS_Version=7.4";
        SQLWCHAR out[1024];
        SQLSMALLINT out_len = 0;
        ok_ = SQL_SUCCEEDED(SQLDriverConnectW(dbc_.Get(), nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()), SQL_NTS, out,
                                              1024, &out_len, SQL_DRIVER_NOPROMPT));
        if (!ok_) diag_ = FirstDiag(dbc_);
    }
    bool Ok() const { return ok_; }
    const Diag& Error() const { return diag_; }
    // Runs a statement; true on success (FreeTDS answers SQL_NO_DATA when there is no result).
    bool Exec(const std::wstring& sql, Diag* diag = nullptr) const {
        OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
        std::wstring text = sql;
        SQLRETURN r = SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
        if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
            if (diag) *diag = FirstDiag(stmt);
            return false;
        }
        return true;
    }

private:
    // The ODBC version is set before any connection handle is allocated from it.
    struct Environment : OdbcHandle {
        Environment() : OdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
            SQLSetEnvAttr(Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        }
    };
    Environment env_;
    OdbcHandle dbc_{SQL_HANDLE_DBC, env_.Get()};
    bool ok_ = false;
    Diag diag_;
};

TEST(StandinControl, DetachThroughWineOdbcAndFreeTds) {
    TempFolder folder;
    MakeSampleDatabase(folder.Path(), L"db_ZVQ");
    const std::wstring unix_folder = ToUnixPath(folder.Path());
    ASSERT_EQ(unix_folder.substr(0, 1), L"/");
    StandinServer server = StandinServer::Start({L"--data", unix_folder});
    ASSERT_GT(server.Port(), 0);

    Connection c(server.Port());
    ASSERT_TRUE(c.Ok()) << Narrow(c.Error().text);
    Diag diag;
    EXPECT_TRUE(c.Exec(L"sp_detach_db 'db_ZVQ','true'", &diag));
    EXPECT_FALSE(c.Exec(L"sp_detach_db 'db_ZVQ','true'", &diag));
    EXPECT_EQ(diag.native, 15010);
    EXPECT_NE(diag.text.find(L"The database 'db_ZVQ' does not exist."), std::wstring::npos) << Narrow(diag.text);

    // Attached again from the Windows path of the files, which the server maps from Z:.
    std::wstring z_folder = L"Z:" + unix_folder;
    for (wchar_t& ch : z_folder)
        if (ch == L'/') ch = L'\\';
    EXPECT_TRUE(c.Exec(L"EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'" + z_folder +
                           L"\\db_ZVQ_Data.MDF', @filename2 = N'" + z_folder + L"\\db_ZVQ_Log.LDF'",
                       &diag));
    EXPECT_TRUE(c.Exec(L"sp_detach_db 'db_ZVQ','true'", &diag));
}

TEST(StandinControl, StoppedAndKilledServersRefuseConnections) {
    StandinServer first = StandinServer::Start({});
    const int port = first.Port();
    ASSERT_TRUE(Connection(port).Ok());
    first.Kill();
    EXPECT_FALSE(Connection(port).Ok());

    StandinServer second = StandinServer::Start({L"--delay-ms", L"1"});
    StandinServer moved = std::move(second);
    const int second_port = moved.Port();
    EXPECT_TRUE(Connection(second_port).Ok());
    moved.Stop();
    EXPECT_FALSE(Connection(second_port).Ok());
    EXPECT_NO_THROW(moved.Stop());  // stopping twice is harmless
}

TEST(StandinControl, BadArgumentsComeBackAsErrors) {
    try {
        StandinServer::Start({L"--no-such-option"});
        FAIL() << "a stand-in started with an unknown option";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("unknown argument --no-such-option"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace dorvane::test
