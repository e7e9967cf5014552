#include "tools/standin/src/login7.h"

#include <array>

#include "tools/standin/src/tds_tokens.h"

namespace standin {
namespace {

constexpr std::size_t kFixedPart = 36;
// Offset/length pairs in record order, after the 36-byte fixed part.
enum Field { kHost, kUser, kPassword, kApp, kServer, kExtension, kLibrary, kLanguage, kDatabase, kFieldCount };
// 36 fixed + 9 pairs + ClientID(6) + SSPI pair + AtchDBFile pair: what TDS 7.1 sends.
constexpr std::size_t kMinLoginRecord = kFixedPart + 4 * kFieldCount + 6 + 4 + 4;
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
        case EncryptionMode::kLoginOnly:
            if (wants) return {kEncryptOn, Protection::kFull, false};
            if (c == kEncryptOff) return {kEncryptOff, Protection::kLoginOnly, false};
            return {kEncryptNotSup, Protection::kNone, false};
        case EncryptionMode::kForce:
            if (wants) return {kEncryptOn, Protection::kFull, false};
            if (c == kEncryptOff) return {kEncryptReq, Protection::kFull, false};
            return {kEncryptReq, Protection::kNone, true};
        case EncryptionMode::kNone:
            break;
    }
    return {kEncryptNotSup, Protection::kNone, wants};
}

std::optional<Prelogin> ParsePrelogin(ByteSpan payload, std::string* error) {
    Prelogin p;
    ByteReader r(payload);
    for (int guard = 0; guard < 64; ++guard) {
        auto token = r.U8();
        if (!token) {
            if (error) *error = "PRELOGIN option table has no terminator";
            return std::nullopt;
        }
        if (*token == 0xFF) return p;
        auto offset = r.U16Be();
        auto length = r.U16Be();
        if (!length || static_cast<std::size_t>(*offset) + *length > payload.size()) {
            if (error) *error = "PRELOGIN option points outside the message";
            return std::nullopt;
        }
        if (*token == 0x00) p.has_version = true;
        if (*token == 0x01 && *length >= 1) p.encryption = payload[*offset];
    }
    if (error) *error = "PRELOGIN option table too long";
    return std::nullopt;
}

Bytes BuildPreloginAnswer(std::uint32_t server_version, std::uint8_t encryption) {
    // Options: VERSION(6), ENCRYPTION(1), INSTOPT(1), THREADID(0), MARS(1), terminator.
    struct Opt {
        std::uint8_t token;
        Bytes data;
    };
    std::array<Opt, 5> opts{{
        {0x00,
         {static_cast<std::uint8_t>(server_version >> 24), static_cast<std::uint8_t>(server_version >> 16),
          static_cast<std::uint8_t>(server_version >> 8), static_cast<std::uint8_t>(server_version), 0, 0}},
        {0x01, {encryption}},
        {0x02, {0x00}},
        {0x03, {}},
        {0x04, {0x00}},
    }};
    ByteWriter w;
    std::uint16_t offset = static_cast<std::uint16_t>(opts.size() * 5 + 1);
    for (const Opt& o : opts) {
        w.U8(o.token);
        w.U16Be(offset);
        w.U16Be(static_cast<std::uint16_t>(o.data.size()));
        offset = static_cast<std::uint16_t>(offset + o.data.size());
    }
    w.U8(0xFF);
    for (const Opt& o : opts) w.Raw(o.data);
    return w.Take();
}

std::optional<Login7> ParseLogin7(ByteSpan payload, std::string* error) {
    auto fail = [&](const char* why) -> std::optional<Login7> {
        if (error) *error = why;
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
    login.tds_version = *r.U32Le();
    login.packet_size = *r.U32Le();
    r.Skip(4 + 4 + 4);  // client program version, client PID, connection id
    r.Skip(1);          // OptionFlags1
    const std::uint8_t flags2 = *r.U8();
    login.integrated_security = (flags2 & kIntegratedSecurityFlag) != 0;
    r.Skip(1 + 1 + 4 + 4);  // TypeFlags, OptionFlags3, time zone, LCID

    std::array<ByteSpan, kFieldCount> fields{};
    for (int f = 0; f < kFieldCount; ++f) {
        const std::uint16_t off = *r.U16Le();
        const std::uint16_t chars = *r.U16Le();
        if (f == kExtension) continue;  // an offset to the feature extension block, not text
        const std::size_t bytes = static_cast<std::size_t>(chars) * 2;
        if (chars == 0) continue;
        if (off < kFixedPart || off + bytes > record.size()) return fail("LOGIN7 field points outside the record");
        fields[f] = record.subspan(off, bytes);
    }
    login.host_name = Utf16LeToUtf8(fields[kHost]);
    login.user_name = Utf16LeToUtf8(fields[kUser]);
    Bytes pw(fields[kPassword].begin(), fields[kPassword].end());
    for (std::uint8_t& b : pw) b = UnscramblePasswordByte(b);
    login.password = Utf16LeToUtf8(pw);
    login.app_name = Utf16LeToUtf8(fields[kApp]);
    login.server_name = Utf16LeToUtf8(fields[kServer]);
    login.library_name = Utf16LeToUtf8(fields[kLibrary]);
    login.language = Utf16LeToUtf8(fields[kLanguage]);
    login.database = Utf16LeToUtf8(fields[kDatabase]);
    return login;
}

Bytes BuildLogin7(const Login7& login) {
    std::array<Bytes, kFieldCount> text;
    text[kHost] = Utf8ToUtf16Le(login.host_name);
    text[kUser] = Utf8ToUtf16Le(login.user_name);
    text[kPassword] = Utf8ToUtf16Le(login.password);
    for (std::uint8_t& b : text[kPassword]) b = ScramblePasswordByte(b);
    text[kApp] = Utf8ToUtf16Le(login.app_name);
    text[kServer] = Utf8ToUtf16Le(login.server_name);
    text[kLibrary] = Utf8ToUtf16Le(login.library_name);
    text[kLanguage] = Utf8ToUtf16Le(login.language);
    text[kDatabase] = Utf8ToUtf16Le(login.database);
    const std::size_t header = kFixedPart + 4 * kFieldCount + 6 + 4 + 4 + 4 + 4;  // 7.2+ layout
    std::size_t total = header;
    for (const Bytes& t : text) total += t.size();

    ByteWriter w;
    w.U32Le(static_cast<std::uint32_t>(total));
    w.U32Le(login.tds_version);
    w.U32Le(login.packet_size);
    w.U32Le(0x07000000);
    w.U32Le(4242);
    w.U32Le(0);
    w.U8(0xE0);
    w.U8(login.integrated_security ? 0x83 : 0x03);
    w.U8(0);
    w.U8(0);
    w.U32Le(0);
    w.U32Le(0x0409);
    std::size_t offset = header;
    for (int f = 0; f < kFieldCount; ++f) {
        w.U16Le(static_cast<std::uint16_t>(offset));
        w.U16Le(static_cast<std::uint16_t>(text[f].size() / 2));
        offset += text[f].size();
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
