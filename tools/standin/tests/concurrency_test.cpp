// Many clients at once logging in, detaching and attaching the same few databases:
// every answer is a success or one of SQL Server's expected refusals, and afterwards
// each database is attached exactly once with its files unchanged.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "tools/standin/tests/standin_process.h"
#include "tools/standin/tests/tds_test_client.h"

namespace dorvane::test {
namespace {

using namespace standin;

constexpr int kThreads = 20;
constexpr int kCycles = 50;
constexpr int kDatabases = 4;

TEST(Concurrency, ManyClientsDetachAndAttach) {
    TempDir data;
    std::map<std::string, std::string> before;
    for (int d = 0; d < kDatabases; ++d) {
        const std::string name = "shared" + std::to_string(d);
        MakeSample(data.Path(), name);
        before[name + "_Data.MDF"] = ReadFileBytes(data / (name + "_Data.MDF"));
        before[name + "_Log.LDF"] = ReadFileBytes(data / (name + "_Log.LDF"));
    }
    StandinProcess server({"--data", data.Path()});
    ASSERT_TRUE(server.Running()) << server.StartError();

    std::atomic<int> detached{0}, attached{0}, unexpected{0};
    std::mutex m;
    std::vector<std::string> problems;
    auto note = [&](const std::string& what) {
        ++unexpected;
        std::lock_guard lock(m);
        if (problems.size() < 10) problems.push_back(what);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCycles; ++i) {
                const std::string name = "shared" + std::to_string((t + i) % kDatabases);
                // Every third client sits in the database it works on, which blocks detaching it.
                const bool sitIn = i % 3 == 0;
                TdsClient c;
                if (!c.Open(server.Port())) {
                    note("connect");
                    continue;
                }
                Answer login = c.Login("sa", "", sitIn ? name : "");
                if (!login.LoginAck) {
                    if (!(sitIn && login.HasError(4060)))
                        note("login: " + (login.FirstError() ? login.FirstError()->Text : "closed"));
                    continue;
                }
                Answer d = c.Batch("sp_detach_db '" + name + "','true'");
                if (!d.Received) {
                    note("detach: no answer");
                    continue;
                }
                if (!d.FirstError())
                    ++detached;
                else if (!d.HasError(15010) && !d.HasError(3703))
                    note("detach: " + d.FirstError()->Text);
                Answer a =
                    c.Batch("EXEC sp_attach_db @dbname = N'" + name + "', @filename1 = N'" +
                            data / (name + "_Data.MDF") + "', @filename2 = N'" + data / (name + "_Log.LDF") + "'");
                if (!a.Received) {
                    note("attach: no answer");
                    continue;
                }
                if (!a.FirstError())
                    ++attached;
                else if (!a.HasError(1801))
                    note("attach: " + a.FirstError()->Text);
            }
        });
    }
    for (auto& th : threads) th.join();
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(unexpected, 0);
    EXPECT_GT(detached, 0);
    // Each successful detach was followed by some successful attach: they balance out.
    EXPECT_EQ(detached.load(), attached.load());

    TdsClient check;
    ASSERT_TRUE(check.Connect(server.Port()));
    ASSERT_TRUE(check.LoginSa());
    Answer list = check.Batch("SELECT name FROM sys.databases ORDER BY name");
    EXPECT_EQ(list.Column(0), (std::vector<std::string>{"master", "model", "msdb", "shared0", "shared1", "shared2",
                                                        "shared3", "tempdb"}));
    for (const auto& [file, bytes] : before) {
        EXPECT_EQ(ReadFileBytes(data / file), bytes) << file;
        EXPECT_EQ(server.OpenFdsOn(data / file), 1) << file;
    }
}

}  // namespace
}  // namespace dorvane::test
