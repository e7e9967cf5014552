// The TCP side: a listening socket, one thread per connection (bounded), each feeding
// whole request messages to its Session. A broken request closes its connection only.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tools/standin/src/catalog.h"
#include "tools/standin/src/session.h"
#include "tools/standin/src/tls.h"
#include "tools/standin/src/trace.h"
#include "tools/standin/src/unique_fd.h"

namespace standin {

struct ServerOptions {
    std::string Host = "127.0.0.1";
    std::uint16_t Port = 1433;
    int DelayMs = 0;
    bool Verbose = false;
    int MaxConnections = 64;
    SessionConfig Session;
    std::shared_ptr<const TlsContext> Tls;  // needed unless Session.Encryption is None
    std::shared_ptr<Trace> PacketTrace;     // --trace, or none
};

// Serves one client connection on a connected socket until it ends: whole request messages
// to a session of its own, the answers back, TLS as the PRELOGIN negotiated. The reason
// it ended, for the log (the trace has it already). The caller owns and closes the socket.
std::string ServeConnection(int fd, std::uint16_t spid, Catalog& catalog, const ServerOptions& options,
                            const std::atomic<bool>& stopping);

class Server {
public:
    Server(Catalog& catalog, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::optional<std::string> Listen();  // the reason when it cannot
    std::uint16_t Port() const { return port_; }
    int ListenFd() const { return listen_.get(); }
    // Accepts one pending connection (call when ListenFd() is readable) and reaps
    // finished connection threads.
    void AcceptOne();
    // Closes the listening socket and every connection, and joins their threads.
    void Shutdown();
    // Joins the threads of connections that have ended.
    void Reap();

private:
    struct Connection {
        UniqueFd Fd;
        std::thread Thread;
        std::atomic<bool> Finished{false};
    };
    void Serve(Connection& c, std::uint16_t spid);
    int LiveConnections() const;  // call with connectionsMutex_ held
    void Log(const std::string& line);

    Catalog& catalog_;
    ServerOptions options_;
    UniqueFd listen_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex connectionsMutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::uint16_t nextSpid_ = 51;
    std::mutex logMutex_;
};

}  // namespace standin
