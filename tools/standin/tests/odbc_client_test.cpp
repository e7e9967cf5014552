// FreeTDS's ODBC driver through unixODBC, natively: the same driver Dorvane reaches
// under Wine. Login, detach, attach, catalog queries and errors with their numbers,
// for every TDS version the driver speaks.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <optional>

#include "tests/support/odbc_session.h"
#include "tools/standin/tests/standin_process.h"

namespace dorvane::test {
namespace {

class OdbcClientTest : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        g_iniDir = new TempDir();
        WriteFileBytes(*g_iniDir / "odbcinst.ini", std::string("[FreeTDS]\nDriver=") + kFreeTdsDriverFile + "\n");
        WriteFileBytes(*g_iniDir / "odbc.ini", "");
        setenv("ODBCSYSINI", g_iniDir->Path().c_str(), 1);
        setenv("ODBCINI", (*g_iniDir / "odbc.ini").c_str(), 1);
    }
    static void TearDownTestSuite() { delete g_iniDir; }
    void SetUp() override {
        struct stat st {};
        ASSERT_EQ(stat(kFreeTdsDriverFile, &st), 0)
            << "FreeTDS's ODBC driver is not installed at " << kFreeTdsDriverFile << " (tdsodbc)";
        MakeSample(data_.Path(), "db_ZVQ");
    }
    std::string ConnectionString(std::uint16_t port, const std::string& user = "sa", const std::string& pwd = "",
                                 const std::string& db = "master") const {
        return "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(port) + ";UID=" + user + ";PWD=" + pwd +
               ";DATABASE=" + db + ";TDS_Version=" + GetParam();
    }
    static TempDir* g_iniDir;
    TempDir data_;
};
TempDir* OdbcClientTest::g_iniDir = nullptr;

TEST_P(OdbcClientTest, DetachAttachAndErrors) {
    StandinProcess server({"--data", data_.Path()});
    ASSERT_TRUE(server.Running()) << server.StartError();
    OdbcSession dbc(ConnectionString(server.Port()));
    ASSERT_TRUE(dbc.Connected()) << dbc.Error().Text;

    OdbcResult list = dbc.Run("SELECT name FROM sys.databases ORDER BY name");
    ASSERT_TRUE(list.Ok) << list.Error.Text;
    EXPECT_EQ(list.Rows, (std::vector<std::string>{"db_ZVQ", "master", "model", "msdb", "tempdb"}));

    OdbcResult detach = dbc.Run("sp_detach_db 'db_ZVQ','true'");
    EXPECT_TRUE(detach.Ok) << detach.Error.Text;
    OdbcResult again = dbc.Run("sp_detach_db 'db_ZVQ','true'");
    EXPECT_FALSE(again.Ok);
    EXPECT_EQ(again.Error.Native, 15010);
    EXPECT_NE(again.Error.Text.find("The database 'db_ZVQ' does not exist. Supply a valid database name."),
              std::string::npos)
        << again.Error.Text;

    OdbcResult attach = dbc.Run("EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'" + data_ / "db_ZVQ_Data.MDF" +
                                "', @filename2 = N'" + data_ / "db_ZVQ_Log.LDF" + "'");
    EXPECT_TRUE(attach.Ok) << attach.Error.Text;
    OdbcResult system = dbc.Run("exec sp_detach_db @dbname = N'master'");
    EXPECT_EQ(system.Error.Native, 3708);
    // A prepared statement goes through sp_prepexec.
    OdbcResult prepared = dbc.Run("SELECT DB_NAME()", true);
    ASSERT_TRUE(prepared.Ok) << prepared.Error.Text;
    EXPECT_EQ(prepared.Rows, (std::vector<std::string>{"master"}));

    OdbcSession inside(ConnectionString(server.Port(), "sa", "", "db_ZVQ"));
    ASSERT_TRUE(inside.Connected()) << inside.Error().Text;
    EXPECT_EQ(dbc.Run("sp_detach_db 'db_ZVQ','true'").Error.Native, 3703);
}

TEST_P(OdbcClientTest, LoginRefusals) {
    StandinProcess server({"--data", data_.Path(), "--account", "sa:pw"});
    ASSERT_TRUE(server.Running()) << server.StartError();
    OdbcSession refused(ConnectionString(server.Port()));
    EXPECT_FALSE(refused.Connected());
    EXPECT_EQ(refused.Error().Native, 18456);
    EXPECT_NE(refused.Error().Text.find("Login failed for user 'sa'."), std::string::npos) << refused.Error().Text;
    OdbcSession nowhere(ConnectionString(server.Port(), "sa", "pw", "nowhere"));
    EXPECT_FALSE(nowhere.Connected());
    EXPECT_NE(nowhere.Error().Text.find("Cannot open database \"nowhere\" requested by the login."), std::string::npos)
        << nowhere.Error().Text;
    OdbcSession allowed(ConnectionString(server.Port(), "sa", "pw"));
    EXPECT_TRUE(allowed.Connected()) << allowed.Error().Text;
}

TEST_P(OdbcClientTest, EncryptionModesAndCodePages) {
    MakeSample(data_.Path(), "数据库甲");
    // FreeTDS's Encryption: "request" (its default) sends ENCRYPT_OFF, "require" ENCRYPT_ON,
    // "off" ENCRYPT_NOT_SUP. A "none" server refuses "require"; a forcing one refuses "off".
    struct Case {
        const char* Mode;
        const char* Encryption;
        bool Connects;
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
            if (std::string(c.Mode) != mode) continue;
            OdbcSession dbc(ConnectionString(server.Port()) + ";ClientCharset=UTF-8;Encryption=" + c.Encryption);
            EXPECT_EQ(dbc.Connected(), c.Connects) << mode << " / " << c.Encryption << ": " << dbc.Error().Text;
            if (!dbc.Connected()) continue;
            // Varchar comes in the collation's code page: 936 keeps CJK, 1252 has '?' for it.
            const bool cp936 = std::string(mode) == "force";
            EXPECT_EQ(dbc.Run("SELECT '数据库甲'").Rows, (std::vector<std::string>{cp936 ? "数据库甲" : "????"}));
            OdbcResult plain = dbc.Run("sp_detach_db '数据库甲','true'");
            EXPECT_EQ(plain.Ok, cp936) << plain.Error.Text;
            if (!cp936) {
                EXPECT_EQ(plain.Error.Native, 15010);
            }
            OdbcResult unicode = dbc.Run("sp_detach_db N'数据库甲','true'");
            EXPECT_EQ(unicode.Ok, !cp936) << unicode.Error.Text;
            EXPECT_TRUE(dbc.Run("sp_attach_db N'数据库甲', N'" + data_ / "数据库甲_Data.MDF" + "'").Ok);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TdsVersions, OdbcClientTest, ::testing::Values("7.1", "7.2", "7.3", "7.4", "auto"));

}  // namespace
}  // namespace dorvane::test
