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
    std::string host = "127.0.0.1";
    std::uint16_t port = 1433;
    int delay_ms = 0;
    bool verbose = false;
    int max_connections = 64;
    SessionConfig session;
    std::shared_ptr<const TlsContext> tls;  // needed unless session.encryption is kNone
    std::shared_ptr<Trace> trace;           // --trace, or none
};

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
        UniqueFd fd;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void Serve(Connection& c, std::uint16_t spid);
    int LiveConnections() const;  // call with connections_mutex_ held
    void Log(const std::string& line);

    Catalog& catalog_;
    ServerOptions options_;
    UniqueFd listen_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex connections_mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::uint16_t next_spid_ = 51;
    std::mutex log_mutex_;
};

}  // namespace standin
