#include "tools/standin/src/trace.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "tools/standin/src/tds_packet.h"

namespace standin {
namespace {

std::string Now() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    std::tm tm{};
    ::localtime_r(&tv.tv_sec, &tm);
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%06ld", static_cast<long>(tv.tv_usec));
    return buf;
}

const char* Arrow(Trace::Direction d) { return d == Trace::Direction::In ? "received" : "sent"; }

}  // namespace

std::string HexDump(ByteSpan bytes) {
    std::string out;
    char buf[24];
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        std::snprintf(buf, sizeof buf, "%04zx", row);
        out += buf;
        std::string text;
        for (std::size_t i = 0; i < 16; ++i) {
            out += i == 8 ? '-' : ' ';
            if (row + i < bytes.size()) {
                const std::uint8_t b = bytes[row + i];
                std::snprintf(buf, sizeof buf, "%02x", b);
                out += buf;
                text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
            } else {
                out += "  ";
            }
        }
        out += " |" + text + "|\n";
    }
    return out;
}

Trace::Trace(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}

void Trace::Dump(std::uint16_t spid, Direction d, ByteSpan bytes, const std::string& title) {
    std::lock_guard lock(mutex_);
    out_ << Now() << " spid " << spid << ' ' << Arrow(d) << ' ' << title << ", " << bytes.size() << " bytes\n"
         << HexDump(bytes) << '\n';
    out_.flush();
}

void Trace::Packets(std::uint16_t spid, Direction d, ByteSpan bytes, const char* how) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t len = bytes.size() - pos;
        if (len >= kHeaderSize) len = std::min<std::size_t>(len, (bytes[pos + 2] << 8) | bytes[pos + 3]);
        if (len == 0) len = bytes.size() - pos;
        char title[96];
        std::snprintf(title, sizeof title, "TDS packet type 0x%02x (%s)", bytes[pos], how);
        Dump(spid, d, bytes.subspan(pos, len), title);
        pos += len;
    }
}

void Trace::Raw(std::uint16_t spid, Direction d, ByteSpan bytes, const char* what) {
    if (!bytes.empty()) Dump(spid, d, bytes, std::string("raw ") + what + " as on the wire");
}

void Trace::Note(std::uint16_t spid, const std::string& text) {
    std::lock_guard lock(mutex_);
    out_ << Now() << " spid " << spid << ' ' << text << "\n\n";
    out_.flush();
}

}  // namespace standin
