// A Winsock TCP listener for the connection tests: it accepts connections in the
// kernel's backlog and never answers, like a server that hangs during the login. Told
// to, it accepts them itself, one after the other, counts them and closes each
// unanswered after a while.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/win/support/win_owners.h"

namespace dorvane::test {

// WSAStartup/WSACleanup for one scope.
class WinsockScope {
public:
    WinsockScope() {
        WSADATA data{};
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
    WinsockScope(const WinsockScope&) = delete;
    WinsockScope& operator=(const WinsockScope&) = delete;
    ~WinsockScope() { WSACleanup(); }
};

// Owns a listening socket on 127.0.0.1 at a free port.
class SilentListener {
public:
    // port 0: any free port.
    explicit SilentListener(unsigned short port = 0) {
        socket_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!socket_) throw std::runtime_error("socket failed");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        int length = sizeof(address);
        if (::bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(socket_.get(), 8) != 0 ||
            ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            Close();
            throw std::runtime_error("bind/listen failed");
        }
        port_ = ntohs(address.sin_port);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    ~SilentListener() { Close(); }

    int Port() const { return port_; }
    void Close() {
        socket_.reset();
        if (acceptor_.joinable()) acceptor_.join();
    }

    // From now on every connection is accepted, counted, held `holdMs` and closed.
    void AcceptAndCount(DWORD holdMs) {
        acceptor_ = std::thread([this, listening = socket_.get(), holdMs] {
            for (SOCKET s; (s = ::accept(listening, nullptr, nullptr)) != INVALID_SOCKET;) {
                ++accepted_;
                ::Sleep(holdMs);
                ::closesocket(s);
            }
        });
    }
    int Accepted() const { return accepted_; }

private:
    UniqueSocket socket_;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
};

// A port nothing listens on: one that was just bound and released.
inline int ClosedPort() {
    SilentListener listener;
    return listener.Port();
}

}  // namespace dorvane::test
