// The stand-in's packet layer, fed the way the server reads a connection: a header, then
// as many bytes as the header's length, into the message assembler, until the bytes end
// or the stream is refused. Properties:
//  - a header that parses has a request type and a length the server can read;
//  - a completed message is no longer than the server's limit;
//  - whatever payload a message has, Packetize at any negotiated size splits it into
//    packets that the assembler joins back to exactly that payload.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/standin/src/tds_packet.h"

namespace {

using standin::ByteSpan;
using standin::MessageAssembler;

void CheckPacketizeRoundTrip(standin::PacketType type, ByteSpan payload, std::uint32_t packetSize) {
    const standin::Bytes packets = standin::Packetize(type, payload, packetSize, 0x0033);
    MessageAssembler assembler;
    std::size_t pos = 0;
    while (pos < packets.size()) {
        std::string error;
        const auto h = standin::ParsePacketHeader(ByteSpan(packets).subspan(pos), error);
        fuzz::Check(h.has_value(), "Packetize wrote a header the server refuses");
        fuzz::Check(h->Length <= std::max(packetSize, standin::kMinPacketSize), "Packetize wrote a packet too long");
        fuzz::Check(pos + h->Length <= packets.size(), "Packetize wrote a length past its own output");
        const auto result = assembler.Feed(ByteSpan(packets).subspan(pos, h->Length));
        pos += h->Length;
        if (result == MessageAssembler::Result::Complete) {
            fuzz::Check(pos == packets.size(), "the end-of-message bit came before the last packet");
            const standin::Message m = assembler.TakeMessage();
            fuzz::Check(m.Type == type, "the message type changed on the way");
            fuzz::Check(std::equal(m.Payload.begin(), m.Payload.end(), payload.begin(), payload.end()),
                        "the payload changed on the way through Packetize and the assembler");
            return;
        }
        fuzz::Check(result == MessageAssembler::Result::NeedMore, "the assembler refused Packetize's packets");
    }
    fuzz::Fail("Packetize wrote no end-of-message packet");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan all(data, size);
    MessageAssembler assembler;
    std::size_t pos = 0;
    while (pos < size) {
        std::string error;
        const auto h = standin::ParsePacketHeader(all.subspan(pos), error);
        if (!h) {
            fuzz::Check(!error.empty(), "a refused header without a reason");
            break;
        }
        fuzz::Check(h->Length >= standin::kHeaderSize && h->Length <= standin::kMaxPacketSize + 1,
                    "a header with a length the server cannot read was accepted");
        if (h->Length > size - pos) break;  // the server would wait for the rest
        const auto result = assembler.Feed(all.subspan(pos, h->Length));
        pos += h->Length;
        if (result == MessageAssembler::Result::Error) {
            fuzz::Check(!assembler.Error().empty(), "a refused packet without a reason");
            break;
        }
        if (result == MessageAssembler::Result::Complete) {
            const standin::Message m = assembler.TakeMessage();
            fuzz::Check(m.Payload.size() <= standin::kMaxMessageSize, "a message longer than the limit was assembled");
            const std::uint32_t packetSize = standin::kMinPacketSize + (h->Spid % 1024);
            CheckPacketizeRoundTrip(m.Type, m.Payload, packetSize);
        }
    }
    // The raw bytes as a payload too, at the smallest and the default packet size.
    CheckPacketizeRoundTrip(standin::PacketType::SqlBatch, all, standin::kMinPacketSize);
    CheckPacketizeRoundTrip(standin::PacketType::Rpc, all, standin::kDefaultPacketSize);
    return 0;
}
