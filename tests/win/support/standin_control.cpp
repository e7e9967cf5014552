#include "tests/win/support/standin_control.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "base/text.h"
#include "tests/win/support/win_owners.h"
#include "tools/standin/src/sample_content.h"

#ifdef _MSC_VER
#pragma comment(lib, "ws2_32.lib")
#endif

namespace dorvane::test {
namespace {

using base::FromUtf8;
using base::ToUtf8;

// Winsock stays initialised for the life of the process once a test needs it.
void EnsureWinsock() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!ready) throw std::runtime_error("stand-in control: WSAStartup failed");
}

std::string ReadWholeFile(const std::wstring& path) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) throw std::runtime_error("stand-in control: cannot open " + ToUtf8(path));
    std::string out;
    char buf[256];
    DWORD n = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    return out;
}

int ControlPort() {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(L"DORVANE_STANDIN_CONTROL_FILE", value, 1024);
    if (n == 0 || n >= 1024) {
        throw std::runtime_error(
            "stand-in control: DORVANE_STANDIN_CONTROL_FILE is not set (register the test with "
            "dorvane_requires_standin)");
    }
    std::wstring path(value, n);
    // A Unix path names a file on Wine's Z: drive.
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    const int port = std::atoi(ReadWholeFile(path).c_str());
    if (port <= 0) throw std::runtime_error("stand-in control: no port in " + ToUtf8(path));
    return port;
}

// Sends one command line to the supervisor and returns its answer line.
std::string Command(const std::string& line) {
    EnsureWinsock();
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) throw std::runtime_error("stand-in control: socket failed");
    DWORD timeoutMs = 60000;
    setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(ControlPort()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::runtime_error("stand-in control: cannot reach the supervisor (is the standin fixture running?)");
    }
    const std::string out = line + "\n";
    if (send(s.get(), out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size())) {
        throw std::runtime_error("stand-in control: cannot send to the supervisor");
    }
    std::string answer;
    char c = 0;
    while (recv(s.get(), &c, 1, 0) == 1 && c != '\n') answer.push_back(c);
    if (answer.empty()) throw std::runtime_error("stand-in control: the supervisor gave no answer to " + line);
    return answer;
}

void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!f || !WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        throw std::runtime_error("sample database: cannot write " + ToUtf8(path));
    }
}

}  // namespace

StandinServer StandinServer::Start(const std::vector<std::wstring>& args) {
    std::string line = "start";
    for (const std::wstring& a : args) {
        if (a.find(L'\t') != std::wstring::npos || a.find(L'\n') != std::wstring::npos) {
            throw std::invalid_argument("stand-in control: arguments cannot contain tabs or line breaks");
        }
        // Appended piecewise: GCC 12's -Wrestrict misfires on "\t" + string at -O2.
        line += '\t';
        line += ToUtf8(a);
    }
    const std::string answer = Command(line);
    // "ok PORT PID"
    char* end = nullptr;
    const long port = answer.rfind("ok ", 0) == 0 ? std::strtol(answer.c_str() + 3, &end, 10) : 0;
    const long pid = port > 0 && *end == ' ' ? std::strtol(end + 1, &end, 10) : 0;
    if (port <= 0 || pid <= 0 || *end != '\0') throw std::runtime_error("stand-in control: " + answer);
    return StandinServer(static_cast<int>(port), static_cast<int>(pid));
}

StandinServer::StandinServer(StandinServer&& other) noexcept : port_(other.port_), pid_(std::exchange(other.pid_, 0)) {}

StandinServer& StandinServer::operator=(StandinServer&& other) noexcept {
    if (this != &other) {
        try {
            Stop();
        } catch (const std::exception&) {
            // Nothing to report from here; the supervisor kills what is left when it exits.
        }
        port_ = other.port_;
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

StandinServer::~StandinServer() {
    try {
        Stop();
    } catch (const std::exception&) {
        // A destructor cannot report; the supervisor kills what is left when it exits.
    }
}

void StandinServer::Release(const char* command) {
    if (pid_ == 0) return;
    const std::string answer = Command(std::string(command) + "\t" + std::to_string(pid_));
    pid_ = 0;
    if (answer != "ok") throw std::runtime_error("stand-in control: " + answer);
}

void StandinServer::Stop() { Release("stop"); }
void StandinServer::Kill() { Release("kill"); }

std::wstring ToUnixPath(const std::wstring& windowsPath) {
    using UnixName = char*(__cdecl*)(LPCWSTR);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    auto convert =
        kernel32
            ? reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(kernel32, "wine_get_unix_file_name")))
            : nullptr;
    if (!convert) throw std::runtime_error("ToUnixPath: wine_get_unix_file_name is missing (not running under Wine)");
    char* unixName = convert(windowsPath.c_str());
    if (!unixName) throw std::runtime_error("ToUnixPath: no Unix path for " + ToUtf8(windowsPath));
    std::wstring out = FromUtf8(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    return out;
}

void MakeSampleDatabase(const std::wstring& folder, const std::wstring& name) {
    const std::string utf8 = ToUtf8(name);
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    WriteWholeFile(base + FromUtf8(standin::SampleDataFileName(utf8)), standin::SampleDataFileContent(utf8));
    WriteWholeFile(base + FromUtf8(standin::SampleLogFileName(utf8)), standin::SampleLogFileContent(utf8));
}

}  // namespace dorvane::test
