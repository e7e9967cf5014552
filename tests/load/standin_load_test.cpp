// Fifty clients at once, each logging in through FreeTDS's ODBC driver two hundred times
// and detaching and re-attaching its own database, and now and then one of a few
// databases they all share. Every answer must be a success or, for the shared ones, one
// of SQL Server's refusals for a race lost (not there, in use, already attached).
// Afterwards every database is attached exactly once, sys.master_files names each file
// exactly once, and every file is byte for byte what it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/odbc_session.h"
#include "tools/standin/tests/standin_process.h"

namespace dorvane::test {
namespace {

constexpr int kClients = 50;
constexpr int kCycles = 200;
constexpr int kShared = 5;
constexpr int kSharedEvery = 10;  // every tenth cycle a client also works on a shared database

// Through FreeTDS's ODBC driver named by its file, so no odbcinst entry is needed.
OdbcSession Login(int port) { return OdbcSession(StandinConnectionString(port, kFreeTdsDriverFile)); }

std::string OwnName(int client) { return "load_" + std::to_string(client); }
std::string SharedName(int n) { return "shared_" + std::to_string(n); }

std::string DetachSql(const std::string& name) { return "sp_detach_db '" + name + "','true'"; }

// Both attach forms clients use, alternating.
std::string AttachSql(const TempDir& data, const std::string& name, int cycle) {
    const std::string mdf = data / (name + "_Data.MDF"), ldf = data / (name + "_Log.LDF");
    if (cycle % 2 == 0) {
        return "EXEC sp_attach_db @dbname = N'" + name + "', @filename1 = N'" + mdf + "', @filename2 = N'" + ldf + "'";
    }
    return "CREATE DATABASE [" + name + "] ON (FILENAME = N'" + mdf + "'), (FILENAME = N'" + ldf + "') FOR ATTACH";
}

class Problems {
public:
    void Note(const std::string& what) {
        std::lock_guard lock(m_);
        ++count_;
        if (first_.size() < 10) first_.push_back(what);
    }
    int Count() const { return count_; }
    const std::vector<std::string>& First() const { return first_; }

private:
    std::mutex m_;
    int count_ = 0;
    std::vector<std::string> first_;
};

TEST(StandinLoad, FiftyClientsDetachAndAttachThroughOdbc) {
    TempDir data;
    ASSERT_FALSE(data.Path().empty());
    std::vector<std::string> names;
    for (int c = 0; c < kClients; ++c) names.push_back(OwnName(c));
    for (int s = 0; s < kShared; ++s) names.push_back(SharedName(s));
    std::map<std::string, std::string> before;
    for (const std::string& name : names) {
        ASSERT_NO_THROW(MakeSample(data.Path(), name)) << name;
        for (const char* suffix : {"_Data.MDF", "_Log.LDF"})
            before[name + suffix] = ReadFileBytes(data / (name + suffix));
    }
    StandinProcess server({"--data", data.Path()});
    ASSERT_TRUE(server.Running()) << server.StartError();

    Problems problems;
    std::atomic<int> ownCycles{0}, sharedDetached{0}, sharedAttached{0};
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < kCycles; ++i) {
                OdbcSession s = Login(server.Port());
                if (!s.Connected()) {
                    problems.Note("login: " + s.Error().Text);
                    continue;
                }
                const std::string own = OwnName(c);
                const OdbcResult d = s.Run(DetachSql(own));
                if (!d.Ok) {
                    problems.Note("detach " + own + ": " + d.Error.Text);
                    continue;
                }
                const OdbcResult a = s.Run(AttachSql(data, own, i));
                if (!a.Ok) {
                    problems.Note("attach " + own + ": " + a.Error.Text);
                    continue;
                }
                ++ownCycles;
                if (i % kSharedEvery != c % kSharedEvery) continue;
                const std::string shared = SharedName((c + i) % kShared);
                const OdbcResult sd = s.Run(DetachSql(shared));
                if (sd.Ok)
                    ++sharedDetached;
                else if (sd.Error.Native != 15010 && sd.Error.Native != 3703)
                    problems.Note("detach " + shared + ": " + sd.Error.Text);
                const OdbcResult sa = s.Run(AttachSql(data, shared, i));
                if (sa.Ok)
                    ++sharedAttached;
                else if (sa.Error.Native != 1801)
                    problems.Note("attach " + shared + ": " + sa.Error.Text);
            }
        });
    }
    for (auto& t : clients) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%d clients x %d cycles: %.1f s, %d own cycles, %d shared detaches\n", kClients, kCycles, seconds,
                ownCycles.load(), sharedDetached.load());

    for (const std::string& p : problems.First()) ADD_FAILURE() << p;
    EXPECT_EQ(problems.Count(), 0);
    EXPECT_EQ(ownCycles.load(), kClients * kCycles);
    EXPECT_GT(sharedDetached.load(), 0);
    // Each shared database ends attached, so every detach that won was undone by one attach.
    EXPECT_EQ(sharedDetached.load(), sharedAttached.load());

    OdbcSession check = Login(server.Port());
    ASSERT_TRUE(check.Connected()) << check.Error().Text;
    const OdbcResult list = check.Run("SELECT name FROM sys.databases ORDER BY name");
    ASSERT_TRUE(list.Ok) << list.Error.Text;
    std::vector<std::string> expected = names;
    for (const char* system : {"master", "model", "msdb", "tempdb"}) expected.push_back(system);
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> got = list.Rows;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);

    const OdbcResult files = check.Run("SELECT physical_name FROM sys.master_files");
    ASSERT_TRUE(files.Ok) << files.Error.Text;
    for (const auto& [file, bytes] : before) {
        EXPECT_EQ(std::count(files.Rows.begin(), files.Rows.end(), data / file), 1) << file << " in sys.master_files";
        EXPECT_TRUE(ReadFileBytes(data / file) == bytes) << file << " changed";
    }
}

}  // namespace
}  // namespace dorvane::test
