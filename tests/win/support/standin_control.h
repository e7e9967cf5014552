// Test support for Windows programs under Wine: stand-in SQL Servers started and
// stopped through the supervisor (`dorvane-standin supervise`), whose control port is
// in the file named by DORVANE_STANDIN_CONTROL_FILE (a Unix path, read through Z:).
#pragma once

#include <string>
#include <vector>

namespace dorvane::test {

class StandinServer {
public:
    // Starts a stand-in with the given command-line arguments (for example
    // {L"--data", ToUnixPath(folder)}); the supervisor adds --listen and --port-file.
    // Throws std::runtime_error with the supervisor's reason when it cannot.
    static StandinServer Start(const std::vector<std::wstring>& args);

    StandinServer(StandinServer&& other) noexcept;
    StandinServer& operator=(StandinServer&& other) noexcept;
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;
    // Stops the server if it is still running.
    ~StandinServer();

    int Port() const { return port_; }
    int Pid() const { return pid_; }
    // SIGTERM, bounded wait, then SIGKILL. Throws std::runtime_error on failure.
    void Stop();
    // SIGKILL at once: the server disappears without closing anything itself.
    void Kill();

private:
    StandinServer(int port, int pid) : port_(port), pid_(pid) {}
    void Release(const char* command);

    int port_ = 0;
    int pid_ = 0;  // 0 once stopped, killed or moved from
};

// The Unix path of a Windows path, through Wine's kernel32 export wine_get_unix_file_name.
// Throws std::runtime_error when not running under Wine or when the path has none.
std::wstring ToUnixPath(const std::wstring& windowsPath);

// Writes a sample database's two files, NAME_Data.MDF and NAME_Log.LDF, into folder
// (the same content as `dorvane-standin make-sample`). Throws std::runtime_error.
void MakeSampleDatabase(const std::wstring& folder, const std::wstring& name);

}  // namespace dorvane::test
