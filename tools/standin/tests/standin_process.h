// Test harness: a temporary folder, the dorvane-standin binary run as a child process on
// a free port (--listen 127.0.0.1:0 --port-file) or as a supervisor, and a fixture for
// tests that serve sample databases from a folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/unique_handle.h"

namespace dorvane::test {

// A folder of its own under /tmp, removed with everything in it when its owner goes.
class TempDir {
public:
    TempDir();
    const std::string& Path() const { return *path_; }
    std::string operator/(const std::string& name) const { return *path_ + "/" + name; }

private:
    struct RemoveTree {
        void operator()(const std::string* path) const;
    };
    std::unique_ptr<const std::string, RemoveTree> path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Writes NAME_Data.MDF and NAME_Log.LDF with the sample content into dir.
void MakeSample(const std::string& dir, const std::string& name);
// Nanosecond modification time, to show that a file was never written.
std::int64_t MTimeNs(const std::string& path);

// A child process's exit status once it has ended by itself (128 + the signal for one a
// signal ended), or -1 when it has not within the limit.
int WaitForExit(pid_t pid, std::chrono::milliseconds limit);
// SIGTERM, then the exit status within 15 s; -1 when it had to be killed.
int StopChild(pid_t pid);
struct ChildTraits {
    static pid_t Invalid() noexcept { return -1; }
    static void Close(pid_t pid) noexcept { StopChild(pid); }
};
// The one owner of a child process: stopped (StopChild) when the owner goes.
using ChildProcess = base::UniqueHandle<pid_t, ChildTraits>;

class StandinProcess {
public:
    // Starts the binary with args plus --listen/--port-file; waits (bounded) until it listens.
    explicit StandinProcess(std::vector<std::string> args);
    // `dorvane-standin supervise --port-file`: Port() is its control port.
    static StandinProcess Supervisor();

    bool Running() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }
    pid_t Pid() const { return child_.get(); }
    const std::string& StartError() const { return error_; }
    // Sends a signal; Stop() is StopChild.
    void Signal(int sig) const;
    int Stop();
    // The exit status once the process ends by itself, -1 when it has not within 10 s.
    int WaitForExit();
    // Open descriptors of the process that refer to the given file.
    int OpenFdsOn(const std::string& path) const;
    // Runs the binary to completion with args; its exit code, and its stderr in `err`.
    static int RunToEnd(const std::vector<std::string>& args, std::string& err);

private:
    // Runs the binary with args, `--port-file`, and a port file of its own folder.
    StandinProcess(std::vector<std::string> args, bool listen);

    TempDir dir_;
    ChildProcess child_;
    std::uint16_t port_ = 0;
    std::string error_;
};

// Tests against stand-ins that serve a data folder of sample databases.
class DataFolderTest : public ::testing::Test {
protected:
    explicit DataFolderTest(const std::vector<std::string>& samples);
    // A stand-in serving the folder, with more arguments; the test fails (not stops) when
    // it does not start.
    std::unique_ptr<StandinProcess> Start(const std::vector<std::string>& extra = {}) const;
    TempDir data_;
};

}  // namespace dorvane::test
