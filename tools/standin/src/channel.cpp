#include "tools/standin/src/channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "tools/standin/src/tds_packet.h"

namespace standin {
namespace {

// How long the rest of a packet may take once its first byte has arrived.
constexpr int kPacketTimeoutMs = 10000;
constexpr int kStopCheckMs = 250;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Channel::Result Channel::ReadSome(bool idleOk, std::size_t max, Bytes& into) {
    while (true) {
        if (stopping_) return Result::Stopped;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, kStopCheckMs);
        if (r < 0 && errno != EINTR) return Result::Closed;
        if (r <= 0) {
            if (!idleOk && NowMs() > deadlineMs_) return Result::Timeout;
            continue;
        }
        std::uint8_t buf[16384];
        const ssize_t k = ::recv(fd_, buf, std::min(max, sizeof buf), 0);
        if (k == 0) return Result::Closed;
        if (k < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return Result::Closed;
        }
        into.insert(into.end(), buf, buf + k);
        return Result::Ok;
    }
}

// Gets plain_ to at least `want` bytes. In clear it never reads past them, so nothing of
// what follows (a TLS record, say) is taken early.
Channel::Result Channel::Fill(bool idleOk, std::size_t want, std::string& why) {
    while (plain_.size() < want) {
        const bool idle = idleOk && plain_.empty();
        Bytes raw;
        const Result r = ReadSome(idle, tls_ ? SIZE_MAX : want - plain_.size(), raw);
        if (r != Result::Ok) return r;
        if (idle) deadlineMs_ = NowMs() + kPacketTimeoutMs;
        if (!tls_) {
            plain_.insert(plain_.end(), raw.begin(), raw.end());
            continue;
        }
        if (trace_) trace_->Raw(spid_, Trace::Direction::In, raw, "TLS records");
        if (!tls_->Decrypt(raw, plain_)) {
            why = tls_->Error();
            return Result::Broken;
        }
    }
    return Result::Ok;
}

Channel::Result Channel::ReadPacket(Bytes& packet, std::string& why) {
    deadlineMs_ = NowMs() + kPacketTimeoutMs;
    Result r = Fill(true, kHeaderSize, why);
    if (r != Result::Ok) return r;
    auto h = ParsePacketHeader(ByteSpan(plain_.data(), kHeaderSize), why);
    if (!h) return Result::Broken;
    r = Fill(false, h->Length, why);
    if (r != Result::Ok) return r;
    packet.assign(plain_.begin(), plain_.begin() + h->Length);
    plain_.erase(plain_.begin(), plain_.begin() + h->Length);
    if (trace_) trace_->Packets(spid_, Trace::Direction::In, packet, tls_ ? "decrypted from TLS" : "clear");
    return Result::Ok;
}

bool Channel::WriteRaw(ByteSpan data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t k = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (k < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        sent += static_cast<std::size_t>(k);
    }
    return true;
}

bool Channel::Send(ByteSpan packets) {
    if (trace_) trace_->Packets(spid_, Trace::Direction::Out, packets, tls_ ? "encrypted into TLS" : "clear");
    if (!tls_) return WriteRaw(packets);
    const Bytes records = tls_->Encrypt(packets);
    if (trace_) trace_->Raw(spid_, Trace::Direction::Out, records, "TLS records");
    return WriteRaw(records);
}

bool Channel::Handshake(const TlsContext& context, std::string& why) {
    auto tls = std::make_unique<TlsStream>(context, true);
    while (true) {
        Bytes packet;
        const Result r = ReadPacket(packet, why);
        if (r != Result::Ok) {
            if (why.empty()) why = "connection ended during the TLS handshake";
            return false;
        }
        if (packet[0] != static_cast<std::uint8_t>(PacketType::Prelogin)) {
            why = "the client sent packet type " + std::to_string(packet[0]) + " instead of the TLS handshake";
            return false;
        }
        Bytes answer;
        const TlsStream::Step step = tls->Handshake(ByteSpan(packet).subspan(kHeaderSize), answer);
        // The server's handshake messages travel in PRELOGIN packets too.
        if (!answer.empty() && !Send(Packetize(PacketType::Prelogin, answer, kDefaultPacketSize, spid_))) {
            why = "cannot send the TLS handshake";
            return false;
        }
        if (step == TlsStream::Step::Failed) {
            why = tls->Error();
            return false;
        }
        if (step == TlsStream::Step::Done) break;
    }
    tls_ = std::move(tls);
    if (trace_) trace_->Note(spid_, "TLS handshake done: packets travel as TLS records from here");
    return true;
}

void Channel::EndTls() {
    tls_.reset();
    if (trace_)
        trace_->Note(spid_, "login packet received: packets travel in clear from here (encryption of the login only)");
}

}  // namespace standin
