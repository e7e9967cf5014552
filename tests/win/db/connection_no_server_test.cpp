// The connection layer through the real client stack (Wine's odbc32, unixODBC, FreeTDS)
// where no server answers: driver choice, a closed port, a server that never answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/connection.h"
#include "tests/win/db/listener.h"

namespace dorvane::test {
namespace {

std::wstring DorvaneString(const std::wstring& server, const std::wstring& extra = L"") {
    return L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='" + server +
           L"';User ID=sa;Initial Catalog=master" + extra;
}

std::wstring Local(int port) { return L"127.0.0.1," + std::to_wstring(port); }

TEST(DbDrivers, EnumerationFindsFreeTdsAndChoosesIt) {
    const std::vector<db::InstalledDriver> drivers = db::InstalledDrivers();
    ASSERT_FALSE(drivers.empty());
    bool listed = false;
    for (const db::InstalledDriver& driver : drivers) {
        if (driver.Name == L"FreeTDS") {
            listed = true;
            bool hasLibrary = false;
            for (const std::wstring& attribute : driver.Attributes) {
                if (attribute.find(L"libtdsodbc") != std::wstring::npos) hasLibrary = true;
            }
            EXPECT_TRUE(hasLibrary) << "the Driver= attribute names FreeTDS's library";
        }
    }
    EXPECT_TRUE(listed);
    const std::optional<db::ChosenDriver> chosen = db::ChooseDriver(drivers);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->Name, L"FreeTDS");
    EXPECT_EQ(chosen->Kind, db::DriverKind::FreeTds);
}

TEST(DbNoServer, ClosedPortGivesFreeTdsUnableToConnect) {
    WinsockScope winsock;
    const int port = ClosedPort();
    db::Connection connection;
    try {
        connection.Open(DorvaneString(Local(port)), L"", L"");
        FAIL() << "Open succeeded against a closed port";
    } catch (const db::Error& error) {
        EXPECT_NE(error.Description().find(L"Unable to connect"), std::wstring::npos) << error.what();
        EXPECT_TRUE(error.HasSqlState(L"08S01")) << error.what();
        EXPECT_TRUE(error.HasNativeError(20009)) << error.what();
        EXPECT_FALSE(error.HasSqlState(L"HYT00")) << "refused at once, not timed out";
        // The description is the records' messages, one per line, in order.
        std::wstring joined;
        for (const db::DiagnosticRecord& record : error.Records()) {
            if (!joined.empty()) joined += L'\n';
            joined += record.Message;
        }
        EXPECT_EQ(error.Description(), joined);
    }
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_THROW(connection.Execute(L"SELECT 1"), db::Error);
}

TEST(DbNoServer, ClosedPortIsRefusedEvenWithoutALoginTimeout) {
    // Connect Timeout=0 means no limit: the refused TCP connection alone ends the Open.
    WinsockScope winsock;
    db::Connection connection;
    try {
        connection.Open(DorvaneString(Local(ClosedPort()), L";Connect Timeout=0"), L"", L"");
        FAIL() << "Open succeeded against a closed port";
    } catch (const db::Error& error) {
        EXPECT_TRUE(error.HasSqlState(L"08S01")) << error.what();
    }
}

TEST(DbNoServer, EmptyDataSourceMeansLocalhostForFreeTds) {
    // FreeTDS given an empty server name or "(local)" fails at once with "Unknown host
    // machine name." (20013); mapped to localhost it tries port 1433 on this machine, where
    // normally nothing listens (the tests' stand-ins take free ports).
    db::Connection connection;
    try {
        connection.Open(DorvaneString(L""), L"", L"");
        GTEST_SKIP() << "a server on localhost:1433 accepted the login";
    } catch (const db::Error& error) {
        EXPECT_FALSE(error.HasNativeError(20013)) << error.what();
        EXPECT_EQ(error.Description().find(L"Unknown host"), std::wstring::npos) << error.what();
        EXPECT_FALSE(error.Records().empty());
    }
}

TEST(DbNoServer, EmptyDataSourceReachesPort1433OnThisMachine) {
    // SQL Server's default port: with no port FreeTDS would refuse ("invalid port number")
    // before trying anything. A listener on 1433 that never answers proves the connection
    // got there: the login ends in a timeout instead.
    WinsockScope winsock;
    std::unique_ptr<SilentListener> listener;
    try {
        listener = std::make_unique<SilentListener>(1433);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "port 1433 is taken on this machine";
    }
    db::Connection connection;
    try {
        connection.Open(DorvaneString(L"", L";Connect Timeout=2"), L"", L"");
        FAIL() << "Open succeeded against a server that never answers";
    } catch (const db::Error& error) {
        EXPECT_TRUE(error.HasSqlState(L"HYT00")) << error.what();
    }
}

TEST(DbNoServer, SilentServerEndsInLoginTimeoutError) {
    WinsockScope winsock;
    SilentListener listener;
    db::Connection connection;
    try {
        connection.Open(DorvaneString(Local(listener.Port()), L";Connect Timeout=2"), L"", L"");
        FAIL() << "Open succeeded against a server that never answers";
    } catch (const db::Error& error) {
        EXPECT_TRUE(error.HasSqlState(L"HYT00")) << error.what();
        EXPECT_FALSE(error.Description().empty());
    }
    EXPECT_FALSE(connection.IsOpen());
}

TEST(DbNoServer, SilentServerWithDefaultTimeoutEndsInError) {
    // ADO's default login timeout (db::kDefaultLoginTimeoutSeconds) applies when the string
    // sets none.
    WinsockScope winsock;
    SilentListener listener;
    db::Connection connection;
    try {
        connection.Open(DorvaneString(Local(listener.Port())), L"", L"");
        FAIL() << "Open succeeded against a server that never answers";
    } catch (const db::Error& error) {
        EXPECT_TRUE(error.HasSqlState(L"HYT00")) << error.what();
    }
}

TEST(DbNoServer, StringErrorsComeBeforeAnyDriverWork) {
    db::Connection connection;
    try {
        connection.Open(L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb", L"", L"");
        FAIL();
    } catch (const db::Error& error) {
        EXPECT_EQ(error.Description(),
                  L"Provider 'Microsoft.Jet.OLEDB.4.0' is not supported: Dorvane connects to SQL "
                  L"Server only (SQLOLEDB, MSOLEDBSQL).");
        EXPECT_TRUE(error.Records().empty());
    }
    EXPECT_THROW(connection.Open(DorvaneString(L"x"), L"", L"", 16), db::Error);  // adAsyncConnect
    EXPECT_FALSE(connection.IsOpen());
}

TEST(DbErrorText, WhatIsUtf8OfTheUtf16Description) {
    const db::Error error(L"分离 \U00020000 \xD800x");  // a pair, then a lone surrogate
    EXPECT_STREQ(error.what(), "\xE5\x88\x86\xE7\xA6\xBB \xF0\xA0\x80\x80 \xEF\xBF\xBDx");
}

}  // namespace
}  // namespace dorvane::test
