#include "tools/standin/src/login7.h"

#include <array>
#include <iterator>

#include "tools/standin/src/tds_tokens.h"

namespace standin {
namespace {

constexpr std::size_t kFixedPart = 36;
// The offset/length pairs after the fixed part, in record order, each with the text it
// carries; the extension pair (nullptr here) points at the feature block instead.
constexpr std::string Login7::*kPairs[] = {&Login7::HostName,    &Login7::UserName,   &Login7::Password,
                                           &Login7::AppName,     &Login7::ServerName, nullptr,
                                           &Login7::LibraryName, &Login7::Language,   &Login7::Database};
constexpr std::size_t kPairCount = std::size(kPairs);
// 36 fixed + 9 pairs + ClientID(6) + SSPI pair + AtchDBFile pair: what TDS 7.1 sends.
constexpr std::size_t kMinLoginRecord = kFixedPart + 4 * kPairCount + 6 + 4 + 4;
constexpr std::uint8_t kIntegratedSecurityFlag = 0x80;  // OptionFlags2 fIntSecurity

}  // namespace

std::uint8_t ScramblePasswordByte(std::uint8_t b) { return static_cast<std::uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5); }

std::uint8_t UnscramblePasswordByte(std::uint8_t b) {
    const std::uint8_t x = b ^ 0xA5;
    return static_cast<std::uint8_t>((x << 4) | (x >> 4));
}

EncryptionAnswer NegotiateEncryption(EncryptionMode server, std::optional<std::uint8_t> client) {
    const std::uint8_t c = client ? static_cast<std::uint8_t>(*client & 0x7F) : kEncryptNotSup;
    const bool wants = c == kEncryptOn || c == kEncryptReq;
    switch (server) {
        case EncryptionMode::LoginOnly:
            if (wants) return {kEncryptOn, Protection::Full, false};
            if (c == kEncryptOff) return {kEncryptOff, Protection::LoginOnly, false};
            return {kEncryptNotSup, Protection::None, false};
        case EncryptionMode::Force:
            if (wants) return {kEncryptOn, Protection::Full, false};
            if (c == kEncryptOff) return {kEncryptReq, Protection::Full, false};
            return {kEncryptReq, Protection::None, true};
        case EncryptionMode::None:
            break;
    }
    return {kEncryptNotSup, Protection::None, wants};
}

std::optional<Prelogin> ParsePrelogin(ByteSpan payload, std::string& error) {
    Prelogin p;
    ByteReader r(payload);
    for (int guard = 0; guard < 64; ++guard) {
        auto token = r.U8();
        if (!token) {
            error = "PRELOGIN option table has no terminator";
            return std::nullopt;
        }
        if (*token == 0xFF) return p;
        auto offset = r.U16Be();
        auto length = r.U16Be();
        if (!length || static_cast<std::size_t>(*offset) + *length > payload.size()) {
            error = "PRELOGIN option points outside the message";
            return std::nullopt;
        }
        if (*token == 0x00) p.HasVersion = true;
        if (*token == 0x01 && *length >= 1) p.Encryption = payload[*offset];
    }
    error = "PRELOGIN option table too long";
    return std::nullopt;
}

Bytes BuildPreloginAnswer(std::uint32_t serverVersion, std::uint8_t encryption) {
    // Options: VERSION(6), ENCRYPTION(1), INSTOPT(1), THREADID(0), MARS(1), terminator.
    struct Option {
        std::uint8_t Token;
        Bytes Data;
    };
    std::array<Option, 5> options{{
        {0x00,
         {static_cast<std::uint8_t>(serverVersion >> 24), static_cast<std::uint8_t>(serverVersion >> 16),
          static_cast<std::uint8_t>(serverVersion >> 8), static_cast<std::uint8_t>(serverVersion), 0, 0}},
        {0x01, {encryption}},
        {0x02, {0x00}},
        {0x03, {}},
        {0x04, {0x00}},
    }};
    ByteWriter w;
    std::uint16_t offset = static_cast<std::uint16_t>(options.size() * 5 + 1);
    for (const Option& o : options) {
        w.U8(o.Token);
        w.U16Be(offset);
        w.U16Be(static_cast<std::uint16_t>(o.Data.size()));
        offset = static_cast<std::uint16_t>(offset + o.Data.size());
    }
    w.U8(0xFF);
    for (const Option& o : options) w.Raw(o.Data);
    return w.Take();
}

std::optional<Login7> ParseLogin7(ByteSpan payload, std::string& error) {
    auto fail = [&](const char* why) -> std::optional<Login7> {
        error = why;
        return std::nullopt;
    };
    ByteReader r(payload);
    auto length = r.U32Le();
    if (!length || payload.size() < kMinLoginRecord) return fail("LOGIN7 record shorter than its fixed part");
    if (*length > payload.size() || *length < kMinLoginRecord)
        return fail("LOGIN7 length field does not fit the message");
    const ByteSpan record = payload.first(*length);
    Login7 login;
    // The version is a little-endian DWORD in LOGIN7: 0x74000004 arrives as 04 00 00 74.
    login.TdsVersion = *r.U32Le();
    login.PacketSize = *r.U32Le();
    r.Skip(4 + 4 + 4);  // client program version, client PID, connection id
    r.Skip(1);          // OptionFlags1
    const std::uint8_t flags2 = *r.U8();
    login.IntegratedSecurity = (flags2 & kIntegratedSecurityFlag) != 0;
    r.Skip(1 + 1 + 4 + 4);  // TypeFlags, OptionFlags3, time zone, LCID

    for (std::string Login7::*field : kPairs) {
        const std::uint16_t offset = *r.U16Le();
        const std::uint16_t chars = *r.U16Le();
        if (!field || chars == 0) continue;
        const std::size_t bytes = static_cast<std::size_t>(chars) * 2;
        if (offset < kFixedPart || offset + bytes > record.size())
            return fail("LOGIN7 field points outside the record");
        Bytes text(record.begin() + offset, record.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
        if (field == &Login7::Password)
            for (std::uint8_t& b : text) b = UnscramblePasswordByte(b);
        login.*field = Utf16LeToUtf8(text);
    }
    return login;
}

Bytes BuildLogin7(const Login7& login) {
    std::array<Bytes, kPairCount> text;
    for (std::size_t i = 0; i < kPairCount; ++i) {
        if (!kPairs[i]) continue;
        text[i] = Utf8ToUtf16Le(login.*kPairs[i]);
        if (kPairs[i] == &Login7::Password)
            for (std::uint8_t& b : text[i]) b = ScramblePasswordByte(b);
    }
    const std::size_t header = kFixedPart + 4 * kPairCount + 6 + 4 + 4 + 4 + 4;  // 7.2+ layout
    std::size_t total = header;
    for (const Bytes& t : text) total += t.size();

    ByteWriter w;
    w.U32Le(static_cast<std::uint32_t>(total));
    w.U32Le(login.TdsVersion);
    w.U32Le(login.PacketSize);
    w.U32Le(0x07000000);
    w.U32Le(4242);
    w.U32Le(0);
    w.U8(0xE0);
    w.U8(login.IntegratedSecurity ? 0x83 : 0x03);
    w.U8(0);
    w.U8(0);
    w.U32Le(0);
    w.U32Le(0x0409);
    std::size_t offset = header;
    for (const Bytes& t : text) {
        w.U16Le(static_cast<std::uint16_t>(offset));
        w.U16Le(static_cast<std::uint16_t>(t.size() / 2));
        offset += t.size();
    }
    for (int i = 0; i < 6; ++i) w.U8(0);  // ClientID
    w.U16Le(static_cast<std::uint16_t>(offset));
    w.U16Le(0);  // SSPI
    w.U16Le(static_cast<std::uint16_t>(offset));
    w.U16Le(0);  // AtchDBFile
    w.U16Le(static_cast<std::uint16_t>(offset));
    w.U16Le(0);  // ChangePassword
    w.U32Le(0);  // cbSSPILong
    for (const Bytes& t : text) w.Raw(t);
    return w.Take();
}

}  // namespace standin
