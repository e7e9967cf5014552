// TDS packets: the 8-byte header, reassembly of a message from its packets, and the
// splitting of an answer into packets of the negotiated size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/standin/src/wire.h"

namespace standin {

enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    TabularResult = 0x04,
    Attention = 0x06,
    BulkLoad = 0x07,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    Prelogin = 0x12,
};

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::uint8_t kStatusEom = 0x01;
// Pooling clients ask for a fresh session state before a request (the transaction too,
// or without it); the stand-in has no transactions, so both mean the same here.
inline constexpr std::uint8_t kStatusResetConnection = 0x08;
inline constexpr std::uint8_t kStatusResetConnectionSkipTran = 0x10;
// Packet sizes a client may negotiate (LOGIN7 PacketSize); 4096 until then.
inline constexpr std::uint32_t kMinPacketSize = 512;
inline constexpr std::uint32_t kMaxPacketSize = 32767;
inline constexpr std::uint32_t kDefaultPacketSize = 4096;
// Longest request message the server reassembles before it gives up on the client.
inline constexpr std::size_t kMaxMessageSize = 4 * 1024 * 1024;

struct PacketHeader {
    std::uint8_t Type = 0;
    std::uint8_t Status = 0;
    std::uint16_t Length = 0;  // whole packet, header included
    std::uint16_t Spid = 0;
    std::uint8_t PacketId = 0;
};

// Parses and checks a header: known request type, length of at least the header and at
// most the largest packet size. nullopt with the reason in `error` otherwise.
std::optional<PacketHeader> ParsePacketHeader(ByteSpan bytes, std::string& error);

// A complete request message: the type of its packets and their payloads joined.
struct Message {
    PacketType Type{};
    std::uint8_t Status = 0;  // status of the first packet (reset-connection bits)
    Bytes Payload;
};

// Collects packets until the end-of-message bit. Feed() takes one whole packet.
class MessageAssembler {
public:
    enum class Result { NeedMore, Complete, Error };
    Result Feed(ByteSpan packet);
    Message TakeMessage();
    const std::string& Error() const { return error_; }

private:
    bool started_ = false;
    Message current_;
    std::string error_;
};

// Splits a tabular-result payload into packets of at most packetSize bytes.
Bytes Packetize(PacketType type, ByteSpan payload, std::uint32_t packetSize, std::uint16_t spid);

}  // namespace standin
