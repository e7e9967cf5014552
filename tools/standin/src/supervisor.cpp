#include "tools/standin/src/supervisor.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "base/text.h"
#include "tools/standin/src/signal_pipe.h"
#include "tools/standin/src/unique_fd.h"

namespace standin {
namespace {

constexpr auto kLifetime = std::chrono::minutes(60);
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::seconds(10);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Supervisor {
public:
    explicit Supervisor(std::string dir) : dir_(std::move(dir)) {}

    ~Supervisor() {
        for (pid_t pid : std::set<pid_t>(children_)) Kill(pid);
        // Only files this process made live in its folder.
        for (int n = 0; n < counter_; ++n) {
            std::remove((dir_ + "/child-" + std::to_string(n) + ".port").c_str());
            std::remove((dir_ + "/child-" + std::to_string(n) + ".err").c_str());
        }
        ::rmdir(dir_.c_str());
    }

    std::string Handle(const std::string& line, bool& quit) {
        const std::vector<std::string> parts = SplitControlLine(line);
        if (parts.empty()) return "error empty command";
        const std::string& cmd = parts[0];
        if (cmd == "start") return Start(std::vector<std::string>(parts.begin() + 1, parts.end()));
        if (cmd == "stop" || cmd == "kill") {
            if (parts.size() != 2) return "error " + cmd + " needs a PID";
            const pid_t pid = static_cast<pid_t>(std::atoi(parts[1].c_str()));
            if (!children_.count(pid)) return "error " + parts[1] + " is not a stand-in of this supervisor";
            if (cmd == "stop")
                Stop(pid);
            else
                Kill(pid);
            return "ok";
        }
        if (cmd == "quit") {
            quit = true;
            return "ok";
        }
        return "error unknown command " + cmd;
    }

    void ReapExited() {
        for (auto it = children_.begin(); it != children_.end();) {
            int status = 0;
            if (::waitpid(*it, &status, WNOHANG) == *it)
                it = children_.erase(it);
            else
                ++it;
        }
    }

private:
    std::string Start(std::vector<std::string> args) {
        const int n = counter_++;
        const std::string portFile = dir_ + "/child-" + std::to_string(n) + ".port";
        const std::string errFile = dir_ + "/child-" + std::to_string(n) + ".err";
        args.insert(args.begin(), {"dorvane-standin", "--listen", "127.0.0.1:0", "--port-file", portFile});
        const pid_t pid = ::fork();
        if (pid < 0) return std::string("error cannot start a stand-in: ") + std::strerror(errno);
        if (pid == 0) {
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) {
                ::dup2(err, 2);
                ::close(err);
            }
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv("/proc/self/exe", argv.data());
            std::fprintf(stderr, "cannot run /proc/self/exe: %s\n", std::strerror(errno));
            ::_exit(127);
        }
        children_.insert(pid);
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string port = ReadFile(portFile);
            if (!port.empty() && port.back() == '\n') {
                return "ok " + port.substr(0, port.size() - 1) + " " + std::to_string(pid);
            }
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                children_.erase(pid);
                std::string why(base::Trim(ReadFile(errFile)));
                for (char& c : why)
                    if (c == '\n') c = ' ';
                return "error the stand-in exited at start: " +
                       (why.empty() ? "status " + std::to_string(status) : why);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Kill(pid);
        return "error the stand-in did not start listening within 15 s";
    }

    bool WaitFor(pid_t pid, std::chrono::steady_clock::duration limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno == ECHILD)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void Stop(pid_t pid) {
        ::kill(pid, SIGTERM);
        if (!WaitFor(pid, kStopTimeout)) Kill(pid);
        children_.erase(pid);
    }

    void Kill(pid_t pid) {
        ::kill(pid, SIGKILL);
        WaitFor(pid, kStopTimeout);
        children_.erase(pid);
    }

    std::string dir_;
    std::set<pid_t> children_;
    int counter_ = 0;
};

}  // namespace

std::vector<std::string> SplitControlLine(const std::string& line) {
    std::vector<std::string> out;
    std::string rest = line;
    rest.erase(rest.find_last_not_of("\r\n") + 1);  // the line's end, CR LF or LF
    std::size_t cmdEnd = rest.find_first_of("\t ");
    out.push_back(rest.substr(0, cmdEnd));
    if (out[0].empty()) return {};
    if (cmdEnd == std::string::npos) return out;
    // Arguments are separated by tabs only, so they may contain spaces (paths).
    std::size_t pos = cmdEnd + 1;
    if (rest[cmdEnd] == ' ') {
        if (out[0] != "start") {  // "stop 123" is a command with one argument
            out.push_back(rest.substr(pos));
            return out;
        }
    }
    while (pos <= rest.size()) {
        const std::size_t tab = rest.find('\t', pos);
        out.push_back(rest.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos) break;
        pos = tab + 1;
    }
    return out;
}

int RunSupervisor(const std::vector<std::string>& args) {
    std::string portFile;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--port-file" && i + 1 < args.size())
            portFile = args[++i];
        else {
            std::cerr << "dorvane-standin supervise: unknown argument " << args[i] << "\n";
            return 2;
        }
    }
    if (portFile.empty()) {
        std::cerr << "dorvane-standin supervise: --port-file FILE is required\n";
        return 2;
    }

    char tmpl[] = "/tmp/dorvane-standin-supervisor.XXXXXX";
    if (!::mkdtemp(tmpl)) {
        std::cerr << "dorvane-standin supervise: cannot make a work folder\n";
        return 2;
    }
    Supervisor sup(tmpl);  // from here on its folder is removed on every way out
    const SignalPipe signals({SIGTERM, SIGINT});
    if (!signals.Valid()) {
        std::cerr << "dorvane-standin supervise: cannot create the signal pipe\n";
        return 2;
    }

    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (!listener || ::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 16) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::cerr << "dorvane-standin supervise: cannot listen: " << std::strerror(errno) << "\n";
        return 2;
    }
    {
        const std::string tmp = portFile + ".tmp";
        std::ofstream(tmp) << ntohs(addr.sin_port) << "\n";
        if (std::rename(tmp.c_str(), portFile.c_str()) != 0) {
            std::cerr << "dorvane-standin supervise: cannot write " << portFile << "\n";
            return 2;
        }
    }

    std::map<int, std::pair<UniqueFd, std::string>> clients;  // fd -> (socket, partial line)
    const auto end = std::chrono::steady_clock::now() + kLifetime;
    bool quit = false;
    while (!quit && std::chrono::steady_clock::now() < end) {
        std::vector<pollfd> fds{{listener.get(), POLLIN, 0}, {signals.ReadFd(), POLLIN, 0}};
        for (auto& [fd, c] : clients) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
        sup.ReapExited();
        if (fds[1].revents & POLLIN) break;
        if (fds[0].revents & POLLIN) {
            UniqueFd c(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (c) {
                const int fd = c.get();
                clients.emplace(fd, std::make_pair(std::move(c), std::string()));
            }
        }
        for (std::size_t i = 2; i < fds.size() && !quit; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            auto it = clients.find(fds[i].fd);
            char buf[4096];
            const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
            if (n <= 0) {
                clients.erase(it);
                continue;
            }
            std::string& pending = it->second.second;
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t nl;
            while (!quit && (nl = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                const std::string answer = sup.Handle(line, quit) + "\n";
                [[maybe_unused]] ssize_t w = ::send(fds[i].fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            if (pending.size() > 65536) clients.erase(it);
        }
    }
    for (int sig : {SIGTERM, SIGINT}) ::signal(sig, SIG_DFL);
    return 0;
}

}  // namespace standin
