// One client connection's byte path: whole TDS packets in and out over the socket, in
// clear or through TLS, and the TLS handshake that travels inside PRELOGIN packets.
// Every packet (and, under TLS, every raw record) goes to the trace when there is one.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/standin/src/tls.h"
#include "tools/standin/src/trace.h"
#include "tools/standin/src/wire.h"

namespace standin {

class Channel {
public:
    Channel(int fd, std::uint16_t spid, const std::atomic<bool>& stopping, Trace* trace)
        : fd_(fd), spid_(spid), stopping_(stopping), trace_(trace) {}

    enum class Result { Ok, Closed, Timeout, Stopped, Broken };
    // Reads one whole packet (header and payload). Before its first byte it waits as long
    // as the client idles; after that the rest must come within the packet timeout.
    // Broken: the header is malformed or a TLS record is refused (`why` says which).
    Result ReadPacket(Bytes& packet, std::string& why);
    // Sends packets, through TLS when it is on.
    bool Send(ByteSpan packets);
    // Runs the server's side of the TLS handshake carried in PRELOGIN packets; on success
    // the channel encrypts from then on. `why` tells a failure.
    bool Handshake(const TlsContext& context, std::string& why);
    // Back to clear text (after the login packet, when only the login is encrypted).
    void EndTls();
    bool Encrypted() const { return tls_ != nullptr; }

private:
    Result Fill(bool idleOk, std::size_t want, std::string& why);
    Result ReadSome(bool idleOk, std::size_t max, Bytes& into);
    bool WriteRaw(ByteSpan bytes);

    int fd_;
    std::uint16_t spid_;
    const std::atomic<bool>& stopping_;
    Trace* trace_;
    std::unique_ptr<TlsStream> tls_;
    Bytes plain_;  // bytes read (and decrypted) but not yet taken as a packet
    std::int64_t deadlineMs_ = 0;
};

}  // namespace standin
