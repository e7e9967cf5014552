#include "tools/standin/tests/standin_process.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tools/standin/src/sample_content.h"

#ifndef STANDIN_BINARY
#error STANDIN_BINARY must name the dorvane-standin binary
#endif

namespace dorvane::test {

using namespace standin;

TempDir::TempDir() {
    char tmpl[] = "/tmp/standin-test.XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_.reset(new std::string(tmpl));
}

void TempDir::RemoveTree::operator()(const std::string* path) const {
    std::error_code ec;
    std::filesystem::remove_all(*path, ec);
    delete path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void MakeSample(const std::string& dir, const std::string& name) {
    auto data = SampleDataFileContent(name);
    auto log = SampleLogFileContent(name);
    WriteFileBytes(dir + "/" + SampleDataFileName(name), std::string(data.begin(), data.end()));
    WriteFileBytes(dir + "/" + SampleLogFileName(name), std::string(log.begin(), log.end()));
}

std::int64_t MTimeNs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

int StopChild(pid_t pid) {
    ::kill(pid, SIGTERM);
    const int status = WaitForExit(pid, std::chrono::seconds(15));
    if (status == -1) {
        ::kill(pid, SIGKILL);
        WaitForExit(pid, std::chrono::seconds(5));
    }
    return status;
}

namespace {

// The binary with args, stdin and stdout on /dev/null, stderr into errFile.
pid_t Spawn(const std::vector<std::string>& args, const std::string& errFile) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) {
        ::dup2(err, 2);
        ::close(err);
    }
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::close(null);
    }
    std::vector<std::string> all{STANDIN_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(STANDIN_BINARY, argv.data());
    ::_exit(127);
}

}  // namespace

StandinProcess::StandinProcess(std::vector<std::string> args) : StandinProcess(std::move(args), true) {}

StandinProcess StandinProcess::Supervisor() { return StandinProcess({"supervise"}, false); }

StandinProcess::StandinProcess(std::vector<std::string> args, bool listen) {
    const std::string portFile = dir_ / "port";
    if (listen) args.insert(args.end(), {"--listen", "127.0.0.1:0"});
    args.insert(args.end(), {"--port-file", portFile});
    child_.reset(Spawn(args, dir_ / "stderr"));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        const std::string p = ReadFileBytes(portFile);
        if (!p.empty() && p.back() == '\n') {
            port_ = static_cast<std::uint16_t>(std::atoi(p.c_str()));
            return;
        }
        int status = 0;
        if (::waitpid(child_.get(), &status, WNOHANG) == child_.get()) {
            static_cast<void>(child_.release());  // reaped: nothing is left to stop
            error_ = ReadFileBytes(dir_ / "stderr");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error_ = "did not start listening in time";
}

void StandinProcess::Signal(int sig) const {
    if (child_) ::kill(child_.get(), sig);
}

int StandinProcess::Stop() {
    if (!child_) return -1;
    return StopChild(child_.release());
}

int StandinProcess::WaitForExit() {
    if (!child_) return -1;
    const int status = test::WaitForExit(child_.get(), std::chrono::seconds(10));
    if (status != -1) static_cast<void>(child_.release());  // reaped: nothing is left to stop
    return status;
}

int StandinProcess::OpenFdsOn(const std::string& path) const {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) return 0;
    std::error_code error;
    std::filesystem::directory_iterator fd("/proc/" + std::to_string(child_.get()) + "/fd", error);
    if (error) return -1;
    int count = 0;
    for (; !error && fd != std::filesystem::directory_iterator(); fd.increment(error)) {
        std::error_code unreadable;  // a descriptor closed meanwhile
        if (std::filesystem::read_symlink(fd->path(), unreadable) == real) ++count;
    }
    return count;
}

int StandinProcess::RunToEnd(const std::vector<std::string>& args, std::string& err) {
    TempDir dir;
    const pid_t pid = Spawn(args, dir / "stderr");
    const int status = test::WaitForExit(pid, std::chrono::seconds(20));
    if (status == -1) {
        ::kill(pid, SIGKILL);
        test::WaitForExit(pid, std::chrono::seconds(5));
    }
    err = ReadFileBytes(dir / "stderr");
    return status;
}

DataFolderTest::DataFolderTest(const std::vector<std::string>& samples) {
    for (const std::string& name : samples) MakeSample(data_.Path(), name);
}

std::unique_ptr<StandinProcess> DataFolderTest::Start(const std::vector<std::string>& extra) const {
    std::vector<std::string> args{"--data", data_.Path()};
    args.insert(args.end(), extra.begin(), extra.end());
    auto p = std::make_unique<StandinProcess>(args);
    EXPECT_TRUE(p->Running()) << p->StartError();
    return p;
}

}  // namespace dorvane::test
