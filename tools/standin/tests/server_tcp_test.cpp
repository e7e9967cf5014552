// The server over real TCP, started as its own process on a free port: the detach
// workflow, the in-use rules, login errors, faults, and the files it must leave alone.
#include <gtest/gtest.h>
#include <signal.h>

#include "tools/standin/tests/standin_process.h"
#include "tools/standin/tests/tds_test_client.h"

namespace dorvane::test {
namespace {

using namespace standin;

class ServerTest : public DataFolderTest {
protected:
    ServerTest() : DataFolderTest({"db_ZVQ"}) {}
    std::unique_ptr<TdsClient> Client(std::uint16_t port, const std::string& db = "") {
        auto c = std::make_unique<TdsClient>();
        EXPECT_TRUE(c->Connect(port));
        EXPECT_TRUE(c->LoginSa(db));
        return c;
    }
    std::string Data() const { return data_ / "db_ZVQ_Data.MDF"; }
    std::string Log() const { return data_ / "db_ZVQ_Log.LDF"; }
    std::string AttachSql() const {
        return "EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'" + Data() + "', @filename2 = N'" + Log() + "'";
    }
};

TEST_F(ServerTest, DetachWorkflowAndAttachingAgain) {
    auto server = Start();
    auto c = Client(server->Port());
    Answer list = c->Batch("SELECT name FROM sys.databases ORDER BY name");
    EXPECT_EQ(list.Column(0), (std::vector<std::string>{"db_ZVQ", "master", "model", "msdb", "tempdb"}));

    Answer detach = c->Batch("sp_detach_db 'db_ZVQ','true'");
    EXPECT_EQ(detach.FirstError(), nullptr) << detach.FirstError()->Text;
    EXPECT_EQ(detach.ReturnStatus, 0);
    Answer again = c->Batch("sp_detach_db 'db_ZVQ','true'");
    ASSERT_TRUE(again.HasError(15010));
    EXPECT_EQ(again.FirstError()->Severity, 16);
    EXPECT_EQ(
        c->Batch("sp_detach_db '','true'").FirstError()->Text,
        "The database '' does not exist. Supply a valid database name. To see available databases, use sys.databases.");
    EXPECT_TRUE(c->Batch("SELECT name FROM sys.databases WHERE name = N'db_ZVQ'").Rows.empty());

    EXPECT_EQ(c->Batch(AttachSql()).FirstError(), nullptr);
    EXPECT_TRUE(c->Batch(AttachSql()).HasError(1801));
    Answer files = c->Batch("SELECT name, physical_name FROM sys.master_files WHERE database_id = DB_ID(N'db_ZVQ')");
    EXPECT_EQ(files.Column(1), (std::vector<std::string>{Data(), Log()}));

    EXPECT_EQ(c->Batch("EXEC sp_detach_db @dbname = N'db_ZVQ', @skipchecks = 'true', @keepfulltextindexfile = 'true'")
                  .FirstError(),
              nullptr);
    Answer create =
        c->Batch("CREATE DATABASE db_ZVQ ON (FILENAME = '" + Data() + "'), (FILENAME = '" + Log() + "') FOR ATTACH");
    EXPECT_EQ(create.FirstError(), nullptr);
    EXPECT_EQ(c->Batch("SELECT name FROM sys.databases WHERE name = 'DB_zvq'").Rows.size(), 1u);

    Answer missing = c->Batch("sp_attach_db 'other', '" + data_ / "none.mdf" + "'");
    ASSERT_TRUE(missing.HasError(5120));
    EXPECT_TRUE(c->Batch("exec sp_frobnicate 'x'").HasError(2812));
    EXPECT_TRUE(c->Batch("UPDATE t SET x = 1").HasError(50000));
    Answer version = c->Batch("SELECT @@VERSION");
    ASSERT_EQ(version.Rows.size(), 1u);
    EXPECT_NE(version.Rows[0][0].find("stand-in"), std::string::npos);
}

TEST_F(ServerTest, NamesOutsideAsciiSurviveTheRoundTrip) {
    MakeSample(data_.Path(), "销售_2024");
    auto server = Start();
    auto c = Client(server->Port());
    Answer list = c->Batch("SELECT name FROM sys.databases WHERE name = N'销售_2024'");
    EXPECT_EQ(list.Column(0), (std::vector<std::string>{"销售_2024"}));
    EXPECT_EQ(c->Batch("sp_detach_db N'销售_2024','true'").FirstError(), nullptr);
    Answer again = c->Batch("sp_detach_db N'销售_2024','true'");
    ASSERT_TRUE(again.HasError(15010));
    EXPECT_NE(again.FirstError()->Text.find("'销售_2024'"), std::string::npos);
}

TEST_F(ServerTest, DatabaseInUseByAnySessionIsNotDetached) {
    auto server = Start();
    auto user = Client(server->Port(), "db_ZVQ");
    auto admin = Client(server->Port());
    Answer busy = admin->Batch("sp_detach_db 'db_ZVQ','true'");
    ASSERT_TRUE(busy.HasError(3703));
    EXPECT_EQ(busy.FirstError()->Text, "Cannot detach the database 'db_ZVQ' because it is currently in use.");

    Answer use = user->Batch("USE master");
    EXPECT_EQ(use.FirstError(), nullptr);
    EXPECT_EQ(use.EnvChanges.at(0), (std::pair<int, std::string>{1, "master"}));

    // The session's own current database counts as in use too.
    EXPECT_EQ(admin->Batch("USE db_ZVQ").FirstError(), nullptr);
    EXPECT_TRUE(admin->Batch("sp_detach_db 'db_ZVQ'").HasError(3703));
    EXPECT_EQ(admin->Batch("SELECT DB_NAME()").Rows.at(0).at(0), "db_ZVQ");
    EXPECT_EQ(admin->Batch("USE master EXEC sp_detach_db 'db_ZVQ'").FirstError(), nullptr);
    Answer gone = admin->Batch("USE db_ZVQ");
    ASSERT_TRUE(gone.HasError(911));
    EXPECT_EQ(gone.FirstError()->Text,
              "Database 'db_ZVQ' does not exist. Make sure that the name is entered correctly.");
}

TEST_F(ServerTest, LoginErrors) {
    auto server = Start({"--account", "sa:Secret1", "--account", "ops:x"});
    TdsClient bad;
    ASSERT_TRUE(bad.Connect(server->Port()));
    ASSERT_TRUE(bad.Prelogin().Received);
    Answer refused = bad.Login("sa", "", "");
    ASSERT_TRUE(refused.HasError(18456));
    EXPECT_EQ(refused.FirstError()->Text, "Login failed for user 'sa'.");
    EXPECT_FALSE(refused.LoginAck);
    EXPECT_TRUE(bad.ClosedByServer());

    TdsClient nodb;
    ASSERT_TRUE(nodb.Open(server->Port()));
    Answer noDatabase = nodb.Login("ops", "x", "nowhere");
    ASSERT_TRUE(noDatabase.HasError(4060));
    EXPECT_EQ(noDatabase.FirstError()->Severity, 11);
    EXPECT_EQ(noDatabase.FirstError()->Text,
              "Cannot open database \"nowhere\" requested by the login. The login failed.");

    TdsClient good;
    ASSERT_TRUE(good.Open(server->Port()));
    EXPECT_TRUE(good.Login("SA", "Secret1", "db_ZVQ", 0x71000001).LoginAck);
    EXPECT_EQ(good.Batch("SELECT DB_NAME()").Rows.at(0).at(0), "db_ZVQ");
}

TEST_F(ServerTest, FaultsDropConnectionsWhereAsked) {
    {
        auto server = Start({"--fault", "drop-after-login"});
        TdsClient c;
        ASSERT_TRUE(c.Connect(server->Port()));
        EXPECT_TRUE(c.LoginSa());
        EXPECT_TRUE(c.ClosedByServer());
    }
    {
        auto server = Start({"--fault", "drop-during-execute", "--delay-ms", "20"});
        auto c = Client(server->Port());
        Answer set = c->Batch("SET TEXTSIZE 2147483647 SET ANSI_NULLS ON");
        EXPECT_TRUE(set.Received);
        Answer none = c->Batch("sp_detach_db 'db_ZVQ','true'");
        EXPECT_FALSE(none.Received);
        // The statement was not run: the database still holds its file.
        EXPECT_EQ(server->OpenFdsOn(Data()), 1);
    }
}

TEST_F(ServerTest, AttentionIsAcknowledgedAfterTheAnswer) {
    auto server = Start({"--delay-ms", "100"});
    auto c = Client(server->Port());
    // The cancel arrives while the server holds its answer back.
    ByteWriter w;
    TdsClient::WriteAllHeaders(w);
    w.Raw(Utf8ToUtf16Le("SELECT 1"));
    ASSERT_TRUE(c->SendPacket(0x01, w.Data()));
    ASSERT_TRUE(c->SendPacket(0x06, Bytes{}));
    Answer first = c->Receive();
    ASSERT_TRUE(first.Received);
    Answer ack = first.Dones.back().Status & 0x20 ? first : c->Receive();
    ASSERT_TRUE(ack.Received);
    EXPECT_EQ(ack.Dones.back().Status & 0x20, 0x20);
    EXPECT_EQ(c->Batch("SELECT DB_NAME()").Rows.at(0).at(0), "master");
}

TEST_F(ServerTest, PacketSizeIsNegotiated) {
    for (int i = 0; i < 6; ++i) MakeSample(data_.Path(), "extra_database_with_a_long_name_" + std::to_string(i));
    auto server = Start();
    TdsClient c;
    ASSERT_TRUE(c.Open(server->Port()));
    Answer login = c.Login("sa", "", "", 0x74000004, 512);
    EXPECT_NE(std::find(login.EnvChanges.begin(), login.EnvChanges.end(), std::pair<int, std::string>{4, "512"}),
              login.EnvChanges.end());
    Answer files = c.Batch("SELECT name, physical_name FROM sys.master_files");
    EXPECT_EQ(files.Rows.size(), 8u + 14u);
    EXPECT_LE(c.LargestPacket(), 512u);
}

TEST_F(ServerTest, MalformedInputClosesOnlyThatConnection) {
    auto server = Start();
    auto bystander = Client(server->Port());
    Login7 badLogin;
    badLogin.UserName = "sa";
    Bytes badRecord = BuildLogin7(badLogin);
    badRecord[40] = 0xF0;  // user name offset outside the record
    badRecord[41] = 0x7F;
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"garbage", Bytes{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1', '\r', '\n'}},
        {"absurd length", Bytes{0x12, 0x01, 0xFF, 0xFF, 0, 0, 0, 0}},
        {"too short length", Bytes{0x12, 0x01, 0x00, 0x02, 0, 0, 0, 0}},
        {"batch before login", Bytes{0x01, 0x01, 0x00, 0x0A, 0, 0, 1, 0, 'x', 0}},
    };
    for (const auto& [name, bytes] : cases) {
        TdsClient c;
        ASSERT_TRUE(c.Connect(server->Port())) << name;
        c.SendRaw(bytes);
        EXPECT_TRUE(c.ClosedByServer()) << name;
    }
    {
        TdsClient c;
        ASSERT_TRUE(c.Connect(server->Port()));
        ASSERT_TRUE(c.Prelogin().Received);
        c.SendPacket(0x10, badRecord);
        EXPECT_TRUE(c.ClosedByServer());
    }
    {
        TdsClient c;  // a header cut short, then the client goes away
        ASSERT_TRUE(c.Connect(server->Port()));
        c.SendRaw(Bytes{0x12, 0x01, 0x00});
    }
    {
        TdsClient c;  // a packet body cut short
        ASSERT_TRUE(c.Connect(server->Port()));
        c.SendRaw(Bytes{0x12, 0x01, 0x00, 0x40, 0, 0, 0, 0, 1, 2});
    }
    EXPECT_EQ(bystander->Batch("SELECT 1").Rows.at(0).at(0), "1");
    auto fresh = Client(server->Port());
    EXPECT_EQ(fresh->Batch("SELECT DB_NAME()").Rows.at(0).at(0), "master");
}

TEST_F(ServerTest, FilesAreNeverWrittenAndReleasedOnDetach) {
    const std::string dataBefore = ReadFileBytes(Data()), logBefore = ReadFileBytes(Log());
    const auto dataMtime = MTimeNs(Data()), logMtime = MTimeNs(Log());
    auto server = Start({"--catalog", data_ / "catalog.txt"});
    EXPECT_EQ(server->OpenFdsOn(Data()), 1);
    EXPECT_EQ(server->OpenFdsOn(Log()), 1);
    auto c = Client(server->Port());
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(c->Batch("sp_detach_db 'db_ZVQ','true'").FirstError(), nullptr);
        EXPECT_EQ(server->OpenFdsOn(Data()), 0);
        EXPECT_EQ(server->OpenFdsOn(Log()), 0);
        ASSERT_EQ(c->Batch(AttachSql()).FirstError(), nullptr);
        EXPECT_EQ(server->OpenFdsOn(Data()), 1);
    }
    ASSERT_EQ(c->Batch("sp_detach_db 'db_ZVQ','true'").FirstError(), nullptr);
    server->Signal(SIGUSR1);
    std::string catalog;
    for (int i = 0; i < 200 && catalog.find("db_ZVQ\tuser\tdetached") == std::string::npos; ++i) {
        usleep(10000);
        catalog = ReadFileBytes(data_ / "catalog.txt");
    }
    EXPECT_NE(catalog.find("database\tdb_ZVQ\tuser\tdetached\n"), std::string::npos) << catalog;
    EXPECT_NE(catalog.find("file\tdb_ZVQ\trows\t" + Data() + "\n"), std::string::npos) << catalog;
    ASSERT_EQ(c->Batch(AttachSql()).FirstError(), nullptr);
    c.reset();
    EXPECT_EQ(server->Stop(), 0);
    EXPECT_NE(ReadFileBytes(data_ / "catalog.txt").find("database\tdb_ZVQ\tuser\tattached\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(Data()), dataBefore);
    EXPECT_EQ(ReadFileBytes(Log()), logBefore);
    EXPECT_EQ(MTimeNs(Data()), dataMtime);
    EXPECT_EQ(MTimeNs(Log()), logMtime);
}

TEST(CommandLine, HelpErrorsAndSamples) {
    std::string err;
    EXPECT_EQ(StandinProcess::RunToEnd({"--help"}, err), 0);
    EXPECT_EQ(StandinProcess::RunToEnd({"--bogus"}, err), 2);
    EXPECT_NE(err.find("unknown argument --bogus"), std::string::npos) << err;
    EXPECT_EQ(StandinProcess::RunToEnd({"--fault", "explode"}, err), 2);
    EXPECT_EQ(StandinProcess::RunToEnd({"--data", "/nonexistent/folder"}, err), 2);
    EXPECT_NE(err.find("/nonexistent/folder"), std::string::npos) << err;
    EXPECT_EQ(StandinProcess::RunToEnd({"--collation", "Klingon_CI_AS"}, err), 2);
    EXPECT_NE(err.find("unknown collation Klingon_CI_AS"), std::string::npos) << err;
    EXPECT_EQ(StandinProcess::RunToEnd({"--encryption", "maybe"}, err), 2);
    TempDir a, b;
    WriteFileBytes(a / "not.pem", "no certificate here");
    EXPECT_EQ(StandinProcess::RunToEnd({"--certificate", a / "not.pem"}, err), 2);
    EXPECT_NE(err.find("cannot use the certificate in " + a / "not.pem"), std::string::npos) << err;
    ASSERT_EQ(StandinProcess::RunToEnd({"make-sample", a.Path(), "db_ZVQ"}, err), 0) << err;
    ASSERT_EQ(StandinProcess::RunToEnd({"make-sample", b.Path(), "db_ZVQ"}, err), 0) << err;
    const std::string data = ReadFileBytes(a / "db_ZVQ_Data.MDF");
    EXPECT_GE(data.size(), 4096u);
    EXPECT_EQ(data, ReadFileBytes(b / "db_ZVQ_Data.MDF"));
    EXPECT_EQ(ReadFileBytes(a / "db_ZVQ_Log.LDF"), ReadFileBytes(b / "db_ZVQ_Log.LDF"));
    EXPECT_NE(data, ReadFileBytes(a / "db_ZVQ_Log.LDF"));
}

}  // namespace
}  // namespace dorvane::test
