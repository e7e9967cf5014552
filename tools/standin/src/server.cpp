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
    if (!options_.Verbose) return;
    std::lock_guard lock(logMutex_);
    std::cerr << "dorvane-standin: " << line << std::endl;
}

std::optional<std::string> Server::Listen() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.Port);
    if (int e = ::getaddrinfo(options_.Host.c_str(), port.c_str(), &hints, &found); e != 0) {
        return "cannot resolve listen address " + options_.Host + ": " + ::gai_strerror(e);
    }
    std::string why = "no usable address for " + options_.Host;
    for (addrinfo* a = found; a; a = a->ai_next) {
        UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (!fd) continue;
        int one = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.get(), 64) != 0) {
            why = "cannot listen on " + options_.Host + ":" + port + ": " + std::strerror(errno);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t len = sizeof bound;
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &len);
        port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                  : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        listen_ = std::move(fd);
        ::freeaddrinfo(found);
        Log("listening on " + options_.Host + ":" + std::to_string(port_));
        return std::nullopt;
    }
    ::freeaddrinfo(found);
    return why;
}

void Server::Reap() {
    std::lock_guard lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->Finished) {
            (*it)->Thread.join();
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
        pollfd p{c->Fd.get(), POLLRDHUP, 0};
        if (!c->Finished && !(::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))) ++live;
    }
    return live;
}

void Server::AcceptOne() {
    Reap();
    UniqueFd fd(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) return;
    int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(connectionsMutex_);
    if (static_cast<int>(connections_.size()) >= options_.MaxConnections &&
        LiveConnections() >= options_.MaxConnections) {
        Log("refusing a connection: " + std::to_string(connections_.size()) + " already open");
        return;  // closing fd refuses it
    }
    auto c = std::make_unique<Connection>();
    c->Fd = std::move(fd);
    Connection& ref = *c;
    const std::uint16_t spid = nextSpid_++;
    if (nextSpid_ > 30000) nextSpid_ = 51;
    connections_.push_back(std::move(c));
    ref.Thread = std::thread([this, &ref, spid] { Serve(ref, spid); });
}

std::string ServeConnection(int fd, std::uint16_t spid, Catalog& catalog, const ServerOptions& options,
                            const std::atomic<bool>& stopping) {
    Session session(catalog, options.Session, spid);
    Channel channel(fd, spid, stopping, options.PacketTrace.get());
    MessageAssembler assembler;
    bool loginOnly = false;  // TLS ends once the login packet is in
    Bytes packet;
    std::string why = "client closed the connection";
    while (true) {
        std::string error;
        const Channel::Result r = channel.ReadPacket(packet, error);
        if (r != Channel::Result::Ok) {
            if (r == Channel::Result::Timeout) why = "packet incomplete for too long";
            if (r == Channel::Result::Stopped) why = "server stopping";
            if (r == Channel::Result::Broken) why = "malformed packet: " + error;
            break;
        }
        const auto fed = assembler.Feed(packet);
        if (fed == MessageAssembler::Result::Error) {
            why = "malformed message: " + assembler.Error();
            break;
        }
        if (fed == MessageAssembler::Result::NeedMore) continue;
        Message message = assembler.TakeMessage();
        if (loginOnly && channel.Encrypted() && message.Type == PacketType::Login7) channel.EndTls();
        Session::Reply reply = session.Handle(message);
        if (options.DelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options.DelayMs));
        if (!reply.Packets.empty() && !channel.Send(reply.Packets)) {
            why = "cannot send the answer";
            break;
        }
        if (reply.Close) {
            why = reply.Reason;
            break;
        }
        if (reply.Protect != Protection::None) {
            if (!options.Tls || !channel.Handshake(*options.Tls, error)) {
                why = "TLS handshake: " + error;
                break;
            }
            loginOnly = reply.Protect == Protection::LoginOnly;
        }
    }
    if (options.PacketTrace) options.PacketTrace->Note(spid, "connection closed: " + why);
    return why;
}

void Server::Serve(Connection& c, std::uint16_t spid) {
    const std::string why = ServeConnection(c.Fd.get(), spid, catalog_, options_, stopping_);
    Log("connection " + std::to_string(spid) + " closed: " + why);
    ::shutdown(c.Fd.get(), SHUT_RDWR);
    c.Finished = true;
}

void Server::Shutdown() {
    stopping_ = true;
    listen_.reset();
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard lock(connectionsMutex_);
        all.swap(connections_);
    }
    for (auto& c : all) ::shutdown(c->Fd.get(), SHUT_RDWR);
    for (auto& c : all)
        if (c->Thread.joinable()) c->Thread.join();
}

}  // namespace standin
