// --trace FILE: every packet in and out of every connection as a hex dump with time,
// connection and direction, in the manner of FreeTDS's TDSDUMP on the client side. With
// TLS the TDS packets appear decrypted, and the TLS records as they crossed the wire.
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

#include "tools/standin/src/wire.h"

namespace standin {

class Trace {
public:
    // Opens (truncates) the file; Valid() is false when it cannot.
    explicit Trace(const std::string& path);
    bool Valid() const { return static_cast<bool>(out_); }

    enum class Direction { In, Out };
    // TDS packets, one dump each (bytes may hold several packets back to back); `how`
    // says how they travelled ("clear", "decrypted from TLS", ...).
    void Packets(std::uint16_t spid, Direction d, ByteSpan bytes, const char* how);
    // Bytes as they crossed the socket under TLS.
    void Raw(std::uint16_t spid, Direction d, ByteSpan bytes, const char* what);
    void Note(std::uint16_t spid, const std::string& text);

private:
    void Dump(std::uint16_t spid, Direction d, ByteSpan bytes, const std::string& title);
    std::mutex mutex_;
    std::ofstream out_;
};

// One hex dump line per 16 bytes: offset, bytes (a '-' after the eighth), printable text.
std::string HexDump(ByteSpan bytes);

}  // namespace standin
