// The connection layer against the stand-in SQL Server through the real client stack
// (Wine's odbc32, unixODBC, FreeTDS, TCP): the detach statements of the workflow and
// the server's errors as the operator reads them, in each of the server's encryption modes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/detach_rules.h"
#include "base/text.h"
#include "db/connection.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"

namespace dorvane::test {
namespace {

using Standin = StandinServer;

std::wstring DorvaneString(int port, const std::wstring& catalog = L"master", const std::wstring& extra = L"") {
    return L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='127.0.0.1," + std::to_wstring(port) +
           L"';User ID=sa;Initial Catalog=" + catalog + extra;
}

// The detach statement as the workflow builds it.
std::wstring DetachStatement(const std::wstring& name) { return app::BuildDetachStatement(name); }

// One open-execute-release round, as one press of the detach button.
void Detach(int port, const std::wstring& name) {
    db::Connection connection;
    connection.Open(DorvaneString(port), L"", L"");
    connection.Execute(DetachStatement(name));
}

// The db::Error a call throws; fails the test when it throws none.
template <typename Call>
db::Error ErrorOf(Call call) {
    try {
        call();
    } catch (const db::Error& error) {
        return error;
    }
    ADD_FAILURE() << "no db::Error was thrown";
    return db::Error(L"(none)");
}

// The server learns of a closed session when it reads the connection's end, which can
// come a moment after the client let go: retry while the answer is still "in use"
// (bounded), so a session that is never ended still fails.
bool DetachOnceTheServerSeesTheSessionEnd(int port, const std::wstring& name) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        try {
            Detach(port, name);
            return true;
        } catch (const db::Error& error) {
            if (!error.HasNativeError(3703)) {
                ADD_FAILURE() << error.what();
                return false;
            }
        }
        Sleep(100);
    }
    return false;
}

class DbServer : public testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"db_ZVQ", L"db_InUse", L"O'Brien", L"分离库"}) {
            folder_.AddDatabase(name);
        }
        server_ = std::make_unique<Standin>(Standin::Start({L"--data", ToUnixPath(folder_.Path())}));
    }
    int Port() const { return server_->Port(); }

    SampleFolder folder_;
    std::unique_ptr<Standin> server_;
};

TEST_F(DbServer, DetachSucceedsAndASecondDetachShowsTheServers15010Text) {
    EXPECT_NO_THROW(Detach(Port(), L"db_ZVQ"));
    const db::Error error = ErrorOf([&] { Detach(Port(), L"db_ZVQ"); });
    EXPECT_TRUE(error.HasNativeError(15010)) << error.what();
    EXPECT_NE(error.Description().find(L"The database 'db_ZVQ' does not exist. Supply a valid database name. To see "
                                       L"available databases, use sys.databases."),
              std::wstring::npos)
        << error.what();
}

TEST_F(DbServer, EmptyNameIsTheServersError) {
    const db::Error error = ErrorOf([&] { Detach(Port(), L""); });
    EXPECT_TRUE(error.HasNativeError(15010)) << error.what();
    EXPECT_NE(error.Description().find(L"The database '' does not exist."), std::wstring::npos);
}

TEST_F(DbServer, SystemDatabaseIsRefusedWith3708) {
    for (const wchar_t* name : {L"master", L"model", L"msdb", L"tempdb"}) {
        const db::Error error = ErrorOf([&] { Detach(Port(), name); });
        EXPECT_TRUE(error.HasNativeError(3708)) << error.what();
        EXPECT_NE(error.Description().find(std::wstring(L"Cannot detach the database '") + name +
                                           L"' because it is a system database."),
                  std::wstring::npos)
            << error.what();
    }
}

TEST_F(DbServer, DatabaseInUseIsRefusedWith3703) {
    db::Connection user;
    user.Open(DorvaneString(Port(), L"db_InUse"), L"", L"");
    const db::Error error = ErrorOf([&] { Detach(Port(), L"db_InUse"); });
    EXPECT_TRUE(error.HasNativeError(3703)) << error.what();
    EXPECT_NE(error.Description().find(L"Cannot detach the database 'db_InUse' because it is currently in use."),
              std::wstring::npos);
    // Releasing the other connection ends its session: the database is free again.
    user = db::Connection();
    EXPECT_TRUE(DetachOnceTheServerSeesTheSessionEnd(Port(), L"db_InUse"));
}

TEST_F(DbServer, DestroyingAConnectionEndsItsSession) {
    {
        db::Connection user;
        user.Open(DorvaneString(Port(), L"db_ZVQ"), L"", L"");
    }
    EXPECT_TRUE(DetachOnceTheServerSeesTheSessionEnd(Port(), L"db_ZVQ"));
}

TEST_F(DbServer, NamesWithQuotesAndChineseDetachWhenQuotedByTheCaller) {
    EXPECT_NO_THROW(Detach(Port(), L"O'Brien"));
    EXPECT_NO_THROW(Detach(Port(), L"分离库"));
    const db::Error error = ErrorOf([&] { Detach(Port(), L"分离库"); });
    EXPECT_NE(error.Description().find(L"The database '分离库' does not exist."), std::wstring::npos) << error.what();
}

TEST_F(DbServer, UnknownInitialCatalogFailsTheLoginWith4060) {
    const db::Error error = ErrorOf([&] {
        db::Connection connection;
        connection.Open(DorvaneString(Port(), L"'no such db'"), L"", L"");
    });
    EXPECT_TRUE(error.HasNativeError(4060)) << error.what();
    EXPECT_NE(error.Description().find(L"Cannot open database \"no such db\" requested by the login."),
              std::wstring::npos)
        << error.what();
}

TEST_F(DbServer, ErrorsInLaterResultsAreRaised) {
    db::Connection connection;
    connection.Open(DorvaneString(Port()), L"", L"");
    const db::Error error =
        ErrorOf([&] { connection.Execute(L"SELECT name FROM sys.databases; EXEC sp_detach_db 'nope'"); });
    EXPECT_TRUE(error.HasNativeError(15010)) << error.what();
    // The session survives a statement's error.
    EXPECT_NO_THROW(connection.Execute(L"SELECT 1"));
}

TEST_F(DbServer, MovedConnectionKeepsItsSession) {
    db::Connection first;
    first.Open(DorvaneString(Port()), L"", L"");
    EXPECT_EQ(first.DriverName(), L"FreeTDS");
    db::Connection second = std::move(first);
    EXPECT_TRUE(second.IsOpen());
    EXPECT_NO_THROW(second.Execute(DetachStatement(L"db_ZVQ")));
    EXPECT_THROW(second.Open(DorvaneString(Port()), L"", L""), db::Error);  // already open
}

TEST(DbServerLogin, WrongPasswordGives18456AndArgumentsOverrideTheString) {
    Standin server = Standin::Start({L"--account", L"sa:s3cret;'x"});
    const db::Error error = ErrorOf([&] {
        db::Connection connection;
        connection.Open(DorvaneString(server.Port()), L"", L"");
    });
    EXPECT_TRUE(error.HasNativeError(18456)) << error.what();
    EXPECT_NE(error.Description().find(L"Login failed for user 'sa'."), std::wstring::npos);
    // The password argument of Open (not empty) replaces the string's; ';' and quotes in
    // it reach the server intact.
    db::Connection connection;
    EXPECT_NO_THROW(connection.Open(DorvaneString(server.Port()), L"", L"s3cret;'x"));
    EXPECT_TRUE(connection.IsOpen());
    // The string's password works the same way, quoted in the string.
    db::Connection quoted;
    EXPECT_NO_THROW(quoted.Open(DorvaneString(server.Port(), L"master", L";Password=\"s3cret;'x\""), L"", L""));
}

TEST(DbServerEncryption, EveryModeConnectsAndDetaches) {
    // FreeTDS as Dorvane configures it asks for ENCRYPT_OFF: a login-only server encrypts the
    // login packet, a forcing one the whole session, a server without encryption nothing.
    SampleFolder folder;
    folder.AddDatabase(L"db_ZVQ");
    for (const wchar_t* mode : {L"login-only", L"force", L"none"}) {
        Standin server = Standin::Start({L"--data", ToUnixPath(folder.Path()), L"--encryption", mode});
        EXPECT_NO_THROW(Detach(server.Port(), L"db_ZVQ")) << base::ToUtf8(mode);
        const db::Error again = ErrorOf([&] { Detach(server.Port(), L"db_ZVQ"); });
        EXPECT_TRUE(again.HasNativeError(15010)) << again.what();
    }
}

TEST(DbServerFaults, ConnectionDroppedDuringExecuteIsAnError) {
    Standin server = Standin::Start({L"--fault", L"drop-during-execute"});
    db::Connection connection;
    connection.Open(DorvaneString(server.Port()), L"", L"");
    const db::Error error = ErrorOf([&] { connection.Execute(DetachStatement(L"db_ZVQ")); });
    EXPECT_FALSE(error.Description().empty());
    EXPECT_FALSE(error.Records().empty());
}

TEST(DbServerFaults, SlowLoginEndsInTheConnectTimeout) {
    Standin server = Standin::Start({L"--delay-ms", L"8000"});
    const db::Error error = ErrorOf([&] {
        db::Connection connection;
        connection.Open(DorvaneString(server.Port(), L"master", L";Connect Timeout=1"), L"", L"");
    });
    EXPECT_TRUE(error.HasSqlState(L"HYT00")) << error.what();
}

TEST(DbServerFaults, SlowStatementEndsInTheCommandTimeout) {
    // Every answer waits 2 s: the login (two answers) fits in the default login timeout
    // (db::kDefaultLoginTimeoutSeconds), the statement does not fit in a 1 s command timeout.
    Standin server = Standin::Start({L"--delay-ms", L"2000"});
    db::Connection connection;
    connection.Open(DorvaneString(server.Port()), L"", L"");
    EXPECT_EQ(connection.CommandTimeout(), 30);
    connection.SetCommandTimeout(1);
    const db::Error error = ErrorOf([&] { connection.Execute(L"SELECT 1"); });
    EXPECT_TRUE(error.HasSqlState(L"HYT00")) << error.what();
}

}  // namespace
}  // namespace dorvane::test
