#include "tools/standin/src/tds_packet.h"

#include <algorithm>

namespace standin {
namespace {

bool IsRequestType(std::uint8_t t) {
    switch (static_cast<PacketType>(t)) {
        case PacketType::SqlBatch:
        case PacketType::Rpc:
        case PacketType::Attention:
        case PacketType::BulkLoad:
        case PacketType::TransactionManager:
        case PacketType::Login7:
        case PacketType::Sspi:
        case PacketType::Prelogin:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<PacketHeader> ParsePacketHeader(ByteSpan bytes, std::string& error) {
    ByteReader r(bytes);
    PacketHeader h;
    auto type = r.U8();
    auto status = r.U8();
    auto length = r.U16Be();
    auto spid = r.U16Be();
    auto id = r.U8();
    auto window = r.U8();
    if (!window) {
        error = "truncated packet header";
        return std::nullopt;
    }
    h.Type = *type;
    h.Status = *status;
    h.Length = *length;
    h.Spid = *spid;
    h.PacketId = *id;
    if (!IsRequestType(h.Type)) {
        error = "unknown packet type " + std::to_string(h.Type);
        return std::nullopt;
    }
    if (h.Length < kHeaderSize || h.Length > kMaxPacketSize + 1) {
        error = "packet length " + std::to_string(h.Length) + " out of range";
        return std::nullopt;
    }
    return h;
}

MessageAssembler::Result MessageAssembler::Feed(ByteSpan packet) {
    auto h = ParsePacketHeader(packet, error_);
    if (!h) return Result::Error;
    if (h->Length != packet.size()) {
        error_ = "packet length does not match the bytes given";
        return Result::Error;
    }
    if (!started_) {
        current_ = Message{};
        current_.Type = static_cast<PacketType>(h->Type);
        current_.Status = h->Status;
        started_ = true;
    } else if (static_cast<PacketType>(h->Type) != current_.Type) {
        error_ = "packet type changed inside a message";
        return Result::Error;
    }
    if (current_.Payload.size() + packet.size() - kHeaderSize > kMaxMessageSize) {
        error_ = "request message too long";
        return Result::Error;
    }
    current_.Payload.insert(current_.Payload.end(), packet.begin() + kHeaderSize, packet.end());
    if (h->Status & kStatusEom) {
        started_ = false;
        return Result::Complete;
    }
    return Result::NeedMore;
}

Message MessageAssembler::TakeMessage() { return std::move(current_); }

Bytes Packetize(PacketType type, ByteSpan payload, std::uint32_t packetSize, std::uint16_t spid) {
    const std::size_t room = std::max<std::size_t>(packetSize, kMinPacketSize) - kHeaderSize;
    Bytes out;
    std::size_t pos = 0;
    std::uint8_t id = 1;
    do {
        const std::size_t n = std::min(room, payload.size() - pos);
        const bool last = pos + n == payload.size();
        const auto len = static_cast<std::uint16_t>(n + kHeaderSize);
        out.push_back(static_cast<std::uint8_t>(type));
        out.push_back(last ? kStatusEom : 0);
        out.push_back(len >> 8);
        out.push_back(len & 0xFF);
        out.push_back(spid >> 8);
        out.push_back(spid & 0xFF);
        out.push_back(id++);
        out.push_back(0);
        out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(pos),
                   payload.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < payload.size());
    return out;
}

}  // namespace standin
