// The supervisor's line protocol: start with arguments, stop, kill, errors, and that
// its stand-ins never outlive it.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tools/standin/src/supervisor.h"
#include "tools/standin/src/unique_fd.h"
#include "tools/standin/tests/standin_process.h"
#include "tools/standin/tests/tds_test_client.h"

namespace dorvane::test {
namespace {

using namespace standin;

// True once pid has exited (gone, or a zombie nobody has reaped yet), within 10 s.
bool Gone(pid_t pid) {
    for (int i = 0; i < 1000; ++i) {
        if (::kill(pid, 0) != 0) return true;
        const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z') return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A supervisor process and its control port. It ends as the Windows tests' fixture ends
// it (SIGTERM), so it removes its work folder.
class Supervisor {
public:
    std::string Send(const std::string& line) {
        UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(process_.Port());
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval tv{30, 0};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return "<no connection>";
        const std::string out = line + "\n";
        if (::send(fd.get(), out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size()))
            return "<send failed>";
        std::string answer;
        char c;
        while (::recv(fd.get(), &c, 1, 0) == 1 && c != '\n') answer.push_back(c);
        return answer;
    }
    // Parses "ok PORT PID".
    static bool Started(const std::string& answer, int& port, int& pid) {
        return std::sscanf(answer.c_str(), "ok %d %d", &port, &pid) == 2;
    }
    int WaitExit() { return process_.WaitForExit(); }
    pid_t Pid() const { return process_.Pid(); }
    bool Ready() const { return process_.Running(); }

private:
    StandinProcess process_ = StandinProcess::Supervisor();
};

TEST(Supervisor, SplitsCommandsAndTabSeparatedArguments) {
    EXPECT_EQ(SplitControlLine("start\t--data\t/tmp/a b\r\n"),
              (std::vector<std::string>{"start", "--data", "/tmp/a b"}));
    EXPECT_EQ(SplitControlLine("start"), (std::vector<std::string>{"start"}));
    EXPECT_EQ(SplitControlLine("stop 42"), (std::vector<std::string>{"stop", "42"}));
    EXPECT_EQ(SplitControlLine("kill\t42"), (std::vector<std::string>{"kill", "42"}));
    EXPECT_TRUE(SplitControlLine("").empty());
}

TEST(Supervisor, StartsStopsAndKillsStandins) {
    TempDir data;
    MakeSample(data.Path(), "db_ZVQ");
    Supervisor sup;
    ASSERT_TRUE(sup.Ready());
    int port = 0, pid = 0;
    ASSERT_TRUE(Supervisor::Started(sup.Send("start\t--data\t" + data.Path()), port, pid));
    {
        TdsClient c;
        ASSERT_TRUE(c.Connect(static_cast<std::uint16_t>(port)));
        ASSERT_TRUE(c.LoginSa("db_ZVQ"));
    }
    EXPECT_EQ(sup.Send("stop\t" + std::to_string(pid)), "ok");
    EXPECT_TRUE(Gone(pid));
    EXPECT_EQ(sup.Send("stop\t" + std::to_string(pid)).rfind("error ", 0), 0u);

    int port2 = 0, pid2 = 0;
    ASSERT_TRUE(Supervisor::Started(sup.Send("start"), port2, pid2));
    EXPECT_EQ(sup.Send("kill " + std::to_string(pid2)), "ok");
    EXPECT_TRUE(Gone(pid2));

    const std::string refused = sup.Send("start\t--bogus");
    EXPECT_EQ(refused.rfind("error the stand-in exited at start:", 0), 0u) << refused;
    EXPECT_NE(refused.find("unknown argument --bogus"), std::string::npos) << refused;
    EXPECT_EQ(sup.Send("dance"), "error unknown command dance");
}

TEST(Supervisor, ItsStandinsEndWithIt) {
    for (const char* how : {"quit", "SIGTERM"}) {
        Supervisor sup;
        ASSERT_TRUE(sup.Ready());
        int port = 0, a = 0, b = 0;
        ASSERT_TRUE(Supervisor::Started(sup.Send("start"), port, a));
        ASSERT_TRUE(Supervisor::Started(sup.Send("start"), port, b));
        if (std::string(how) == "quit")
            EXPECT_EQ(sup.Send("quit"), "ok");
        else
            ::kill(sup.Pid(), SIGTERM);
        EXPECT_EQ(sup.WaitExit(), 0) << how;
        EXPECT_TRUE(Gone(a)) << how;
        EXPECT_TRUE(Gone(b)) << how;
    }
}

}  // namespace
}  // namespace dorvane::test
