// Test harness: a temporary folder, and the dorvane-standin binary run as a child
// process on a free port (--listen 127.0.0.1:0 --port-file), stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dorvane::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Writes NAME_Data.MDF and NAME_Log.LDF with the sample content into dir.
void MakeSample(const std::string& dir, const std::string& name);
// Nanosecond modification time, to show that a file was never written.
std::int64_t MTimeNs(const std::string& path);

class StandinProcess {
public:
    // Starts the binary with args plus --listen/--port-file; waits (bounded) until it listens.
    explicit StandinProcess(std::vector<std::string> args);
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    bool Running() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    const std::string& StartError() const { return error_; }
    // Sends a signal; Stop() is SIGTERM and waits (bounded), returning the exit status
    // (-1 when it had to be killed).
    void Signal(int sig) const;
    int Stop();
    // Open descriptors of the process that refer to the given file.
    int OpenFdsOn(const std::string& path) const;
    // Runs the binary to completion with args and returns its exit code and stderr.
    static int RunToEnd(const std::vector<std::string>& args, std::string* err_out);

private:
    TempDir dir_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string error_;
};

// A stand-in serving the databases of a data folder, with more arguments; the test fails
// (not stops) when it does not start.
std::unique_ptr<StandinProcess> StartWithData(const std::string& data_dir, const std::vector<std::string>& extra = {});

}  // namespace dorvane::test
