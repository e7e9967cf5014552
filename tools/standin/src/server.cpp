#include "tools/standin/src/server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

#include "tools/standin/src/channel.h"

namespace standin {

Server::Server(Catalog& catalog, ServerOptions options) : catalog_(catalog), options_(std::move(options)) {}

Server::~Server() { Shutdown(); }

void Server::Log(const std::string& line) {
    if (!options_.verbose) return;
    std::lock_guard lock(log_mutex_);
    std::cerr << "dorvane-standin: " << line << std::endl;
}

std::optional<std::string> Server::Listen() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.port);
    if (int e = ::getaddrinfo(options_.host.c_str(), port.c_str(), &hints, &found); e != 0) {
        return "cannot resolve listen address " + options_.host + ": " + ::gai_strerror(e);
    }
    std::string why = "no usable address for " + options_.host;
    for (addrinfo* a = found; a; a = a->ai_next) {
        UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (!fd) continue;
        int one = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.get(), 64) != 0) {
            why = "cannot listen on " + options_.host + ":" + port + ": " + std::strerror(errno);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t len = sizeof bound;
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &len);
        port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                  : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        listen_ = std::move(fd);
        ::freeaddrinfo(found);
        Log("listening on " + options_.host + ":" + std::to_string(port_));
        return std::nullopt;
    }
    ::freeaddrinfo(found);
    return why;
}

void Server::Reap() {
    std::lock_guard lock(connections_mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

// Connections whose client is still there. A client that closes and at once connects
// again can be quicker than the thread that serves its old connection (on a busy machine,
// with TLS handshakes to compute): a connection whose peer has hung up is not counted.
int Server::LiveConnections() const {
    int live = 0;
    for (const auto& c : connections_) {
        pollfd p{c->fd.get(), POLLRDHUP, 0};
        if (!c->finished && !(::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))) ++live;
    }
    return live;
}

void Server::AcceptOne() {
    Reap();
    UniqueFd fd(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) return;
    int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(connections_mutex_);
    if (static_cast<int>(connections_.size()) >= options_.max_connections &&
        LiveConnections() >= options_.max_connections) {
        Log("refusing a connection: " + std::to_string(connections_.size()) + " already open");
        return;  // closing fd refuses it
    }
    auto c = std::make_unique<Connection>();
    c->fd = std::move(fd);
    Connection& ref = *c;
    const std::uint16_t spid = next_spid_++;
    if (next_spid_ > 30000) next_spid_ = 51;
    connections_.push_back(std::move(c));
    ref.thread = std::thread([this, &ref, spid] { Serve(ref, spid); });
}

void Server::Serve(Connection& c, std::uint16_t spid) {
    const int fd = c.fd.get();
    Session session(catalog_, options_.session, spid);
    Channel channel(fd, spid, stopping_, options_.trace.get());
    MessageAssembler assembler;
    bool login_only = false;  // TLS ends once the login packet is in
    Bytes packet;
    std::string why = "client closed the connection";
    while (true) {
        std::string error;
        const Channel::Result r = channel.ReadPacket(&packet, &error);
        if (r != Channel::Result::kOk) {
            if (r == Channel::Result::kTimeout) why = "packet incomplete for too long";
            if (r == Channel::Result::kStopped) why = "server stopping";
            if (r == Channel::Result::kBroken) why = "malformed packet: " + error;
            break;
        }
        const auto fed = assembler.Feed(packet);
        if (fed == MessageAssembler::Result::kError) {
            why = "malformed message: " + assembler.Error();
            break;
        }
        if (fed == MessageAssembler::Result::kNeedMore) continue;
        Message message = assembler.TakeMessage();
        if (login_only && channel.Encrypted() && message.type == PacketType::kLogin7) channel.EndTls();
        Session::Reply reply = session.Handle(message);
        if (options_.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options_.delay_ms));
        if (!reply.packets.empty() && !channel.Send(reply.packets)) {
            why = "cannot send the answer";
            break;
        }
        if (reply.close) {
            why = reply.reason;
            break;
        }
        if (reply.protect != Protection::kNone) {
            if (!options_.tls || !channel.Handshake(*options_.tls, &error)) {
                why = "TLS handshake: " + error;
                break;
            }
            login_only = reply.protect == Protection::kLoginOnly;
        }
    }
    Log("connection " + std::to_string(spid) + " closed: " + why);
    if (options_.trace) options_.trace->Note(spid, "connection closed: " + why);
    ::shutdown(fd, SHUT_RDWR);
    c.finished = true;
}

void Server::Shutdown() {
    stopping_ = true;
    listen_.reset();
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard lock(connections_mutex_);
        all.swap(connections_);
    }
    for (auto& c : all) ::shutdown(c->fd.get(), SHUT_RDWR);
    for (auto& c : all)
        if (c->thread.joinable()) c->thread.join();
}

}  // namespace standin
