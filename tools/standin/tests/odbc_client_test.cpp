// FreeTDS's ODBC driver through unixODBC, natively: the same driver Dorvane reaches
// under Wine. Login, detach, attach, catalog queries and errors with their numbers,
// for every TDS version the driver speaks.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <utility>

#include "tools/standin/tests/standin_process.h"

namespace dorvane::test {
namespace {

constexpr const char* kDriver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

class OdbcHandle {
public:
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &h_))) h_ = SQL_NULL_HANDLE;
    }
    OdbcHandle(OdbcHandle&& o) noexcept : type_(o.type_), h_(std::exchange(o.h_, SQLHANDLE{})) {}
    OdbcHandle& operator=(OdbcHandle&&) = delete;
    OdbcHandle(const OdbcHandle&) = delete;
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
    std::string state;
    std::string text;
};

Diag FirstDiag(const OdbcHandle& h) {
    Diag d;
    SQLCHAR state[6] = {}, text[1024] = {};
    SQLSMALLINT len = 0;
    SQLGetDiagRec(h.Type(), h.Get(), 1, state, &d.native, text, sizeof text, &len);
    d.state = reinterpret_cast<char*>(state);
    d.text = reinterpret_cast<char*>(text);
    return d;
}

class Odbc {
public:
    Odbc() : env_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
        SQLSetEnvAttr(env_.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    // Connects; on failure returns the driver's first diagnostic in *diag.
    std::optional<OdbcHandle> Connect(const std::string& connection, Diag* diag) {
        OdbcHandle dbc(SQL_HANDLE_DBC, env_.Get());
        SQLSetConnectAttr(dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        SQLCHAR out[1024];
        SQLSMALLINT out_len = 0;
        SQLRETURN r = SQLDriverConnect(dbc.Get(), nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, out, sizeof out,
                                       &out_len, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(r)) {
            if (diag) *diag = FirstDiag(dbc);
            return std::nullopt;
        }
        return dbc;
    }

private:
    OdbcHandle env_;
};

struct Result {
    bool ok = false;
    Diag diag;
    std::vector<std::string> first_column;
};

Result Exec(const OdbcHandle& dbc, const std::string& sql, bool prepare = false) {
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc.Get());
    Result res;
    SQLRETURN r = prepare ? SQLPrepare(stmt.Get(), (SQLCHAR*)sql.c_str(), SQL_NTS) : SQL_SUCCESS;
    if (SQL_SUCCEEDED(r))
        r = prepare ? SQLExecute(stmt.Get()) : SQLExecDirect(stmt.Get(), (SQLCHAR*)sql.c_str(), SQL_NTS);
    // FreeTDS answers SQL_NO_DATA for a statement without results (SET, a procedure call).
    res.ok = SQL_SUCCEEDED(r) || r == SQL_NO_DATA;
    if (!res.ok) {
        res.diag = FirstDiag(stmt);
        return res;
    }
    SQLSMALLINT cols = 0;
    SQLNumResultCols(stmt.Get(), &cols);
    while (cols > 0 && SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
        char buf[1024] = {};
        SQLLEN ind = 0;
        SQLGetData(stmt.Get(), 1, SQL_C_CHAR, buf, sizeof buf, &ind);
        res.first_column.emplace_back(ind == SQL_NULL_DATA ? "NULL" : buf);
    }
    return res;
}

class OdbcClientTest : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        ini_dir_ = new TempDir();
        WriteFileBytes(*ini_dir_ / "odbcinst.ini", std::string("[FreeTDS]\nDriver=") + kDriver + "\n");
        WriteFileBytes(*ini_dir_ / "odbc.ini", "");
        setenv("ODBCSYSINI", ini_dir_->Path().c_str(), 1);
        setenv("ODBCINI", (*ini_dir_ / "odbc.ini").c_str(), 1);
    }
    static void TearDownTestSuite() { delete ini_dir_; }
    void SetUp() override {
        struct stat st {};
        ASSERT_EQ(stat(kDriver, &st), 0) << "FreeTDS's ODBC driver is not installed at " << kDriver << " (tdsodbc)";
        MakeSample(data_.Path(), "db_ZVQ");
    }
    std::string ConnectionString(std::uint16_t port, const std::string& user = "sa", const std::string& pwd = "",
                                 const std::string& db = "master") const {
        return "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(port) + ";UID=" + user + ";PWD=" + pwd +
               ";DATABASE=" + db + ";TDS_Version=" + GetParam();
    }
    static TempDir* ini_dir_;
    TempDir data_;
};
TempDir* OdbcClientTest::ini_dir_ = nullptr;

TEST_P(OdbcClientTest, DetachAttachAndErrors) {
    StandinProcess server({"--data", data_.Path()});
    ASSERT_TRUE(server.Running()) << server.StartError();
    Odbc odbc;
    Diag diag;
    auto dbc = odbc.Connect(ConnectionString(server.Port()), &diag);
    ASSERT_TRUE(dbc) << diag.text;

    Result list = Exec(*dbc, "SELECT name FROM sys.databases ORDER BY name");
    ASSERT_TRUE(list.ok) << list.diag.text;
    EXPECT_EQ(list.first_column, (std::vector<std::string>{"db_ZVQ", "master", "model", "msdb", "tempdb"}));

    Result detach = Exec(*dbc, "sp_detach_db 'db_ZVQ','true'");
    EXPECT_TRUE(detach.ok) << detach.diag.text;
    Result again = Exec(*dbc, "sp_detach_db 'db_ZVQ','true'");
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.diag.native, 15010);
    EXPECT_NE(again.diag.text.find("The database 'db_ZVQ' does not exist. Supply a valid database name."),
              std::string::npos)
        << again.diag.text;

    Result attach = Exec(*dbc, "EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'" + data_ / "db_ZVQ_Data.MDF" +
                                   "', @filename2 = N'" + data_ / "db_ZVQ_Log.LDF" + "'");
    EXPECT_TRUE(attach.ok) << attach.diag.text;
    Result system = Exec(*dbc, "exec sp_detach_db @dbname = N'master'");
    EXPECT_EQ(system.diag.native, 3708);
    // A prepared statement goes through sp_prepexec.
    Result prepared = Exec(*dbc, "SELECT DB_NAME()", true);
    ASSERT_TRUE(prepared.ok) << prepared.diag.text;
    EXPECT_EQ(prepared.first_column, (std::vector<std::string>{"master"}));

    auto inside = odbc.Connect(ConnectionString(server.Port(), "sa", "", "db_ZVQ"), &diag);
    ASSERT_TRUE(inside) << diag.text;
    EXPECT_EQ(Exec(*dbc, "sp_detach_db 'db_ZVQ','true'").diag.native, 3703);
}

TEST_P(OdbcClientTest, LoginRefusals) {
    StandinProcess server({"--data", data_.Path(), "--account", "sa:pw"});
    ASSERT_TRUE(server.Running()) << server.StartError();
    Odbc odbc;
    Diag diag;
    EXPECT_FALSE(odbc.Connect(ConnectionString(server.Port()), &diag));
    EXPECT_EQ(diag.native, 18456);
    EXPECT_NE(diag.text.find("Login failed for user 'sa'."), std::string::npos) << diag.text;
    EXPECT_FALSE(odbc.Connect(ConnectionString(server.Port(), "sa", "pw", "nowhere"), &diag));
    EXPECT_NE(diag.text.find("Cannot open database \"nowhere\" requested by the login."), std::string::npos)
        << diag.text;
    EXPECT_TRUE(odbc.Connect(ConnectionString(server.Port(), "sa", "pw"), &diag)) << diag.text;
}

TEST_P(OdbcClientTest, EncryptionModesAndCodePages) {
    MakeSample(data_.Path(), "数据库甲");
    Odbc odbc;
    Diag diag;
    // FreeTDS's Encryption: "request" (its default) sends ENCRYPT_OFF, "require" ENCRYPT_ON,
    // "off" ENCRYPT_NOT_SUP. A "none" server refuses "require"; a forcing one refuses "off".
    struct Case {
        const char* mode;
        const char* encryption;
        bool connects;
    };
    const Case cases[] = {
        {"login-only", "request", true}, {"login-only", "require", true}, {"login-only", "off", true},
        {"force", "request", true},      {"force", "require", true},      {"force", "off", false},
        {"none", "request", true},       {"none", "require", false},      {"none", "off", true},
    };
    for (const char* mode : {"login-only", "force", "none"}) {
        StandinProcess server({"--data", data_.Path(), "--encryption", mode, "--collation",
                               std::string(mode) == "force" ? "Chinese_PRC_CI_AS" : "SQL_Latin1_General_CP1_CI_AS"});
        ASSERT_TRUE(server.Running()) << server.StartError();
        for (const Case& c : cases) {
            if (std::string(c.mode) != mode) continue;
            auto dbc = odbc.Connect(ConnectionString(server.Port()) + ";ClientCharset=UTF-8;Encryption=" + c.encryption,
                                    &diag);
            EXPECT_EQ(dbc.has_value(), c.connects) << mode << " / " << c.encryption << ": " << diag.text;
            if (!dbc) continue;
            // Varchar comes in the collation's code page: 936 keeps CJK, 1252 has '?' for it.
            const bool cp936 = std::string(mode) == "force";
            EXPECT_EQ(Exec(*dbc, "SELECT '数据库甲'").first_column,
                      (std::vector<std::string>{cp936 ? "数据库甲" : "????"}));
            Result plain = Exec(*dbc, "sp_detach_db '数据库甲','true'");
            EXPECT_EQ(plain.ok, cp936) << plain.diag.text;
            if (!cp936) {
                EXPECT_EQ(plain.diag.native, 15010);
            }
            Result unicode = Exec(*dbc, "sp_detach_db N'数据库甲','true'");
            EXPECT_EQ(unicode.ok, !cp936) << unicode.diag.text;
            EXPECT_TRUE(Exec(*dbc, "sp_attach_db N'数据库甲', N'" + data_ / "数据库甲_Data.MDF" + "'").ok);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TdsVersions, OdbcClientTest, ::testing::Values("7.1", "7.2", "7.3", "7.4", "auto"));

}  // namespace
}  // namespace dorvane::test
