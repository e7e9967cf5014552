#include "tools/standin/src/tds_packet.h"

#include <algorithm>

namespace standin {
namespace {

bool IsRequestType(std::uint8_t t) {
    switch (static_cast<PacketType>(t)) {
        case PacketType::kSqlBatch:
        case PacketType::kRpc:
        case PacketType::kAttention:
        case PacketType::kBulkLoad:
        case PacketType::kTransactionManager:
        case PacketType::kLogin7:
        case PacketType::kSspi:
        case PacketType::kPrelogin:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<PacketHeader> ParsePacketHeader(ByteSpan bytes, std::string* error) {
    ByteReader r(bytes);
    PacketHeader h;
    auto type = r.U8();
    auto status = r.U8();
    auto length = r.U16Be();
    auto spid = r.U16Be();
    auto id = r.U8();
    auto window = r.U8();
    if (!window) {
        if (error) *error = "truncated packet header";
        return std::nullopt;
    }
    h.type = *type;
    h.status = *status;
    h.length = *length;
    h.spid = *spid;
    h.packet_id = *id;
    if (!IsRequestType(h.type)) {
        if (error) *error = "unknown packet type " + std::to_string(h.type);
        return std::nullopt;
    }
    if (h.length < kHeaderSize || h.length > kMaxPacketSize + 1) {
        if (error) *error = "packet length " + std::to_string(h.length) + " out of range";
        return std::nullopt;
    }
    return h;
}

MessageAssembler::Result MessageAssembler::Feed(ByteSpan packet) {
    auto h = ParsePacketHeader(packet, &error_);
    if (!h) return Result::kError;
    if (h->length != packet.size()) {
        error_ = "packet length does not match the bytes given";
        return Result::kError;
    }
    if (!started_) {
        current_ = Message{};
        current_.type = static_cast<PacketType>(h->type);
        current_.status = h->status;
        started_ = true;
    } else if (static_cast<PacketType>(h->type) != current_.type) {
        error_ = "packet type changed inside a message";
        return Result::kError;
    }
    if (current_.payload.size() + packet.size() - kHeaderSize > kMaxMessageSize) {
        error_ = "request message too long";
        return Result::kError;
    }
    current_.payload.insert(current_.payload.end(), packet.begin() + kHeaderSize, packet.end());
    if (h->status & kStatusEom) {
        started_ = false;
        return Result::kComplete;
    }
    return Result::kNeedMore;
}

Message MessageAssembler::TakeMessage() { return std::move(current_); }

Bytes Packetize(PacketType type, ByteSpan payload, std::uint32_t packet_size, std::uint16_t spid) {
    const std::size_t room = std::max<std::size_t>(packet_size, kMinPacketSize) - kHeaderSize;
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
