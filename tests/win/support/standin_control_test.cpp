// A stand-in started through the supervisor from a Windows program, reached the way
// Dorvane reaches SQL Server under Wine: odbc32 -> unixODBC -> FreeTDS -> TCP.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "base/text.h"
#include "tests/support/odbc_session.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"
#include "tests/win/support/win_owners.h"

namespace dorvane::test {
namespace {

bool Connects(int port) { return OdbcSession(StandinConnectionString(port)).Connected(); }

TEST(StandinControl, DetachThroughWineOdbcAndFreeTds) {
    SampleFolder folder;
    folder.AddDatabase(L"db_ZVQ");
    const std::wstring unixFolder = ToUnixPath(folder.Path());
    ASSERT_EQ(unixFolder.substr(0, 1), L"/");
    StandinServer server = StandinServer::Start({L"--data", unixFolder});
    ASSERT_GT(server.Port(), 0);

    OdbcSession c(StandinConnectionString(server.Port()));
    ASSERT_TRUE(c.Connected()) << c.Error().Text;
    EXPECT_TRUE(c.Run("sp_detach_db 'db_ZVQ','true'").Ok);
    const OdbcResult again = c.Run("sp_detach_db 'db_ZVQ','true'");
    EXPECT_FALSE(again.Ok);
    EXPECT_EQ(again.Error.Native, 15010);
    EXPECT_NE(again.Error.Text.find("The database 'db_ZVQ' does not exist."), std::string::npos) << again.Error.Text;

    // Attached again from the Windows path of the files, which the server maps from Z:.
    std::wstring zFolder = L"Z:" + unixFolder;
    for (wchar_t& ch : zFolder)
        if (ch == L'/') ch = L'\\';
    EXPECT_TRUE(c.Run(base::ToUtf8(L"EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'" + zFolder +
                                   L"\\db_ZVQ_Data.MDF', @filename2 = N'" + zFolder + L"\\db_ZVQ_Log.LDF'"))
                    .Ok);
    EXPECT_TRUE(c.Run("sp_detach_db 'db_ZVQ','true'").Ok);
}

TEST(StandinControl, StoppedAndKilledServersRefuseConnections) {
    StandinServer first = StandinServer::Start({});
    const int port = first.Port();
    ASSERT_TRUE(Connects(port));
    first.Kill();
    EXPECT_FALSE(Connects(port));

    StandinServer second = StandinServer::Start({L"--delay-ms", L"1"});
    StandinServer moved = std::move(second);
    const int secondPort = moved.Port();
    EXPECT_TRUE(Connects(secondPort));
    moved.Stop();
    EXPECT_FALSE(Connects(secondPort));
    EXPECT_NO_THROW(moved.Stop());  // stopping twice is harmless
}

// Wine reuses process ids: a folder of the name a sample folder takes, left with a file in
// it by a killed earlier run, is taken over empty, and goes with its owner.
TEST(StandinControl, SampleFolderTakesOverAStaleFolder) {
    std::wstring stale = SampleFolder(L"stale").Path();  // ...-PID-N: the next one is N + 1
    const size_t dash = stale.rfind(L'-');
    stale = stale.substr(0, dash + 1) + std::to_wstring(std::stoi(stale.substr(dash + 1)) + 1);
    ASSERT_TRUE(::CreateDirectoryW(stale.c_str(), nullptr));
    ASSERT_TRUE(UniqueFile(
        ::CreateFileW((stale + L"\\left.MDF").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    {
        SampleFolder taken(L"stale");
        ASSERT_EQ(taken.Path(), stale);
        EXPECT_EQ(::GetFileAttributesW(taken.File(L"left.MDF").c_str()), INVALID_FILE_ATTRIBUTES);
        taken.AddDatabase(L"db_ZVQ");
    }
    EXPECT_EQ(::GetFileAttributesW(stale.c_str()), INVALID_FILE_ATTRIBUTES);
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
