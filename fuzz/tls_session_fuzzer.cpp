// The stand-in's TLS framing as a client's side of a connection reaches it: PRELOGIN, the
// TLS handshake inside PRELOGIN packets, then TLS records straight on the socket (and clear
// packets again after a login-only LOGIN7). The server is the stand-in's own connection
// loop on one end of a socket pair; the client is a real TLS stream on the other end, and
// the input decides how its handshake is framed into packets, which byte is changed or
// where it is cut, and what the client sends once the handshake is done.
//
// The input, read from the front:
//   one byte       ENCRYPTION value of the client's PRELOGIN (bits 0-1); bit 2: the server
//                  forces encryption (else it encrypts the login only, SQL Server's default)
//   per flight     of the client's handshake, one framing byte: bits 0-5 the payload bytes
//                  per PRELOGIN packet, in eights (0: one packet); bit 6: two bytes of offset
//                  and one of XOR change one byte of the packets; bit 7: two bytes give
//                  where the packets are cut off. After a change or a cut the client no
//                  longer speaks the protocol: the rest of the input goes as it stands.
//   then chunks    one control byte (bit 0: through TLS while it is on; bit 1: TLS ends
//                  after this chunk, as a login-only client's does after LOGIN7), one
//                  length byte, that many bytes.
// Properties:
//  - after each flight of the client's own, the server answers or hangs up, never waits;
//  - once the client has closed its side, the server ends the connection, whatever came.
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "fuzz/fuzz_support.h"
#include "tools/standin/src/catalog.h"
#include "tools/standin/src/server.h"
#include "tools/standin/src/tds_packet.h"
#include "tools/standin/src/tls.h"
#include "tools/standin/src/unique_fd.h"

namespace {

using standin::ByteReader;
using standin::Bytes;
using standin::ByteSpan;

// Long enough for a handshake on a loaded machine; a server that takes longer waits for
// bytes that are not coming.
constexpr int kAnswerMs = 5000;

standin::ServerOptions ServerFor(standin::EncryptionMode mode) {
    static const std::shared_ptr<const standin::TlsContext> kTls = [] {
        std::string why;
        std::shared_ptr<const standin::TlsContext> tls =
            standin::TlsContext::ForServer(standin::MakeSelfSignedPem(), why);
        fuzz::Check(tls != nullptr, "the stand-in's own certificate is refused");
        return tls;
    }();
    standin::ServerOptions options;
    options.Session.Encryption = mode;
    options.Tls = kTls;
    return options;
}

class Client {
public:
    explicit Client(int fd) : fd_(fd) {}

    // False once the server has hung up.
    bool Send(ByteSpan bytes) {
        for (std::size_t sent = 0; open_ && sent < bytes.size();) {
            const ssize_t k = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (k > 0)
                sent += static_cast<std::size_t>(k);
            else if (errno != EINTR)
                open_ = false;
        }
        return open_;
    }

    // One whole packet from the server, or nullopt when it hung up.
    std::optional<Bytes> Packet() {
        Bytes packet;
        if (!Read(standin::kHeaderSize, packet)) return std::nullopt;
        const std::size_t length = (packet[2] << 8) | packet[3];
        fuzz::Check(length >= standin::kHeaderSize, "the server sent a packet shorter than its header");
        if (!Read(length - standin::kHeaderSize, packet)) return std::nullopt;
        return packet;
    }

    // Closes the client's side and reads until the server has closed its own.
    void Finish() {
        ::shutdown(fd_, SHUT_WR);
        Bytes rest;
        while (Read(16384, rest, true)) rest.clear();
    }

private:
    // Appends n bytes (or, with some, whatever arrives up to n); false at the end.
    bool Read(std::size_t n, Bytes& into, bool some = false) {
        const std::size_t want = into.size() + n;
        while (into.size() < want) {
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, kAnswerMs);
            if (ready < 0 && errno == EINTR) continue;  // libFuzzer's timer
            fuzz::Check(ready == 1, "the server neither answered nor hung up");
            std::uint8_t buf[16384];
            const ssize_t k = ::recv(fd_, buf, std::min(sizeof buf, want - into.size()), 0);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                open_ = false;
                return false;
            }
            into.insert(into.end(), buf, buf + k);
            if (some) return true;
        }
        return true;
    }

    int fd_;
    bool open_ = true;
};

void AddPacket(Bytes& out, ByteSpan payload, bool last) {
    standin::ByteWriter w;
    w.U8(static_cast<std::uint8_t>(standin::PacketType::Prelogin));
    w.U8(last ? standin::kStatusEom : 0);
    w.U16Be(static_cast<std::uint16_t>(payload.size() + standin::kHeaderSize));
    w.U32Be(0x00000100);  // spid 0, packet id 1, window 0
    w.Raw(payload);
    out.insert(out.end(), w.Data().begin(), w.Data().end());
}

// The flight in PRELOGIN packets as the framing byte says; false when it was changed or
// cut (the client then leaves the protocol).
bool Frame(ByteSpan flight, ByteReader& in, Bytes& out) {
    const std::uint8_t framing = in.U8().value_or(0);
    const std::size_t each = (framing & 0x3F) ? (framing & 0x3F) * 8u : 4088u;
    for (std::size_t pos = 0; pos < flight.size(); pos += each) {
        const std::size_t n = std::min(each, flight.size() - pos);
        AddPacket(out, flight.subspan(pos, n), pos + n == flight.size());
    }
    bool faithful = true;
    if (framing & 0x40) {
        const std::size_t at = in.U16Le().value_or(0) % out.size();
        const std::uint8_t change = in.U8().value_or(0xFF);
        out[at] ^= change ? change : 0xFF;
        faithful = false;
    }
    if (framing & 0x80) {
        out.resize(in.U16Le().value_or(0) % out.size());
        faithful = false;
    }
    return faithful;
}

// PRELOGIN, then the handshake when the answer calls for one. The client's TLS stream when
// it is done; nullptr when there is none, or when the client has left the protocol.
std::unique_ptr<standin::TlsStream> Open(Client& client, ByteReader& in, std::uint8_t encryption, bool& faithful) {
    const std::uint8_t prelogin[] = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                                     0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, encryption};
    Bytes packets;
    AddPacket(packets, prelogin, true);
    if (!client.Send(packets)) return nullptr;
    const std::optional<Bytes> answer = client.Packet();
    if (!answer) return nullptr;
    std::string malformed;
    const auto parsed = standin::ParsePrelogin(ByteSpan(*answer).subspan(standin::kHeaderSize), malformed);
    fuzz::Check(parsed && parsed->Encryption, "the server's PRELOGIN answer does not read");
    if (*parsed->Encryption == standin::kEncryptNotSup || encryption == standin::kEncryptNotSup) return nullptr;

    static const std::unique_ptr<standin::TlsContext> kClientTls = standin::TlsContext::ForClient();
    auto tls = std::make_unique<standin::TlsStream>(*kClientTls, false);
    Bytes fromServer;
    while (true) {
        Bytes flight;
        const standin::TlsStream::Step step = tls->Handshake(fromServer, flight);
        fuzz::Check(step != standin::TlsStream::Step::Failed, "the server's handshake messages are refused");
        if (!flight.empty()) {
            Bytes framed;
            faithful = Frame(flight, in, framed);
            if (!client.Send(framed) || !faithful) return nullptr;
        }
        if (step == standin::TlsStream::Step::Done) return tls;
        const std::optional<Bytes> packet = client.Packet();
        if (!packet) return nullptr;
        fuzz::Check((*packet)[0] == static_cast<std::uint8_t>(standin::PacketType::Prelogin),
                    "the server's handshake came in a packet that is not PRELOGIN");
        fromServer.assign(packet->begin() + standin::kHeaderSize, packet->end());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(ByteSpan(data, size));
    const std::uint8_t mode = in.U8().value_or(0);
    int ends[2];
    fuzz::Check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0, "no socket pair");
    standin::UniqueFd clientEnd(ends[0]), serverEnd(ends[1]);

    static const standin::ServerOptions kModes[] = {ServerFor(standin::EncryptionMode::LoginOnly),
                                                     ServerFor(standin::EncryptionMode::Force)};
    standin::Catalog catalog;
    const std::atomic<bool> stopping{false};
    std::thread server([&] {
        standin::ServeConnection(serverEnd.get(), 51, catalog, kModes[(mode >> 2) & 1], stopping);
        ::shutdown(serverEnd.get(), SHUT_RDWR);
    });

    Client client(clientEnd.get());
    bool faithful = true;
    std::unique_ptr<standin::TlsStream> tls = Open(client, in, mode & 0x03, faithful);
    while (faithful && in.Remaining() > 0) {
        const std::uint8_t control = in.U8().value_or(0);
        const std::uint8_t length = in.U8().value_or(0);
        const ByteSpan chunk = in.Take(std::min<std::size_t>(length, in.Remaining())).value_or(ByteSpan());
        const Bytes records = tls && (control & 0x01) ? tls->Encrypt(chunk) : Bytes(chunk.begin(), chunk.end());
        if (!client.Send(records)) break;
        if (control & 0x02) tls.reset();
    }
    if (!faithful) client.Send(in.Rest());
    client.Finish();
    server.join();
    return 0;
}
