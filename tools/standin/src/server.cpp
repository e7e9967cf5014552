#include "server.h"

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

namespace standin {
namespace {

// How long the rest of a packet may take once its first byte has arrived.
constexpr int kPacketTimeoutMs = 10000;
constexpr int kStopCheckMs = 250;

enum class ReadResult { kOk, kClosed, kTimeout, kStopped };

// Reads exactly n bytes. Before the first byte it waits as long as the client idles
// (checking for shutdown); after it, at most kPacketTimeoutMs.
ReadResult ReadFull(int fd, std::uint8_t* buf, std::size_t n, bool idle_ok, const std::atomic<bool>& stopping) {
  std::size_t got = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPacketTimeoutMs);
  while (got < n) {
    if (stopping) return ReadResult::kStopped;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, kStopCheckMs);
    if (r < 0 && errno != EINTR) return ReadResult::kClosed;
    if (r <= 0) {
      if (!(idle_ok && got == 0) && std::chrono::steady_clock::now() > deadline) return ReadResult::kTimeout;
      continue;
    }
    const ssize_t k = ::recv(fd, buf + got, n - got, 0);
    if (k == 0) return ReadResult::kClosed;
    if (k < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return ReadResult::kClosed;
    }
    if (got == 0 && idle_ok) deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPacketTimeoutMs);
    got += static_cast<std::size_t>(k);
  }
  return ReadResult::kOk;
}

bool WriteAll(int fd, const Bytes& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t k = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (k < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    sent += static_cast<std::size_t>(k);
  }
  return true;
}

}  // namespace

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
    if (!fd.Valid()) continue;
    int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.Get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.Get(), 64) != 0) {
      why = "cannot listen on " + options_.host + ":" + port + ": " + std::strerror(errno);
      continue;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &len);
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

void Server::AcceptOne() {
  Reap();
  UniqueFd fd(::accept4(listen_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.Valid()) return;
  int one = 1;
  ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  std::lock_guard lock(connections_mutex_);
  if (static_cast<int>(connections_.size()) >= options_.max_connections) {
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
  const int fd = c.fd.Get();
  Session session(catalog_, options_.session, spid);
  MessageAssembler assembler;
  Bytes packet;
  std::string why = "client closed the connection";
  while (true) {
    std::uint8_t header[kHeaderSize];
    ReadResult r = ReadFull(fd, header, kHeaderSize, true, stopping_);
    if (r != ReadResult::kOk) {
      if (r == ReadResult::kTimeout) why = "packet header incomplete for too long";
      if (r == ReadResult::kStopped) why = "server stopping";
      break;
    }
    std::string error;
    auto h = ParsePacketHeader(ByteSpan(header, kHeaderSize), &error);
    if (!h) { why = "malformed packet: " + error; break; }
    packet.assign(header, header + kHeaderSize);
    packet.resize(h->length);
    r = ReadFull(fd, packet.data() + kHeaderSize, h->length - kHeaderSize, false, stopping_);
    if (r != ReadResult::kOk) { why = r == ReadResult::kTimeout ? "packet incomplete for too long" : "connection closed inside a packet"; break; }
    const auto fed = assembler.Feed(packet);
    if (fed == MessageAssembler::Result::kError) { why = "malformed message: " + assembler.Error(); break; }
    if (fed == MessageAssembler::Result::kNeedMore) continue;
    Session::Reply reply = session.Handle(assembler.TakeMessage());
    if (options_.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options_.delay_ms));
    if (!reply.packets.empty() && !WriteAll(fd, reply.packets)) { why = "cannot send the answer"; break; }
    if (reply.close) { why = reply.reason; break; }
  }
  Log("connection " + std::to_string(spid) + " closed: " + why);
  ::shutdown(fd, SHUT_RDWR);
  c.finished = true;
}

void Server::Shutdown() {
  stopping_ = true;
  listen_.Reset();
  std::list<std::unique_ptr<Connection>> all;
  {
    std::lock_guard lock(connections_mutex_);
    all.swap(connections_);
  }
  for (auto& c : all) ::shutdown(c->fd.Get(), SHUT_RDWR);
  for (auto& c : all) if (c->thread.joinable()) c->thread.join();
}

}  // namespace standin
