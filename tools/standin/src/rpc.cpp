#include "tools/standin/src/rpc.h"

#include <limits>

#include "tools/standin/src/collation.h"

namespace standin {
namespace {

constexpr std::uint8_t kTypeInt1 = 0x30, kTypeBit = 0x32, kTypeInt2 = 0x34, kTypeInt4 = 0x38, kTypeInt8 = 0x7F;
constexpr std::uint8_t kTypeIntN = 0x26, kTypeBitN = 0x68;
constexpr std::uint8_t kTypeBigVarChar = 0xA7, kTypeBigChar = 0xAF, kTypeNVarChar = 0xE7, kTypeNChar = 0xEF;
constexpr std::uint8_t kTypeText = 0x23, kTypeNText = 0x63;

std::optional<std::int64_t> LittleEndianInt(ByteSpan v) {
    if (v.size() > 8) return std::nullopt;
    std::uint64_t u = 0;
    for (std::size_t i = 0; i < v.size(); ++i) u |= static_cast<std::uint64_t>(v[i]) << (8 * i);
    switch (v.size()) {
        case 1:
            return static_cast<std::int64_t>(u);  // tinyint is unsigned
        case 2:
            return static_cast<std::int16_t>(u);
        case 4:
            return static_cast<std::int32_t>(u);
        case 8:
            return static_cast<std::int64_t>(u);
        default:
            return std::nullopt;
    }
}

// A value's bytes as they came, nullopt for NULL.
using Nullable = std::optional<Bytes>;

// Reads a PLP value (varchar(max)/nvarchar(max)): total length, then chunks up to a 0 chunk.
// nullopt when the message ends first.
std::optional<Nullable> ReadPlp(ByteReader& r) {
    auto total = r.U64Le();
    if (!total) return std::nullopt;
    if (*total == 0xFFFFFFFFFFFFFFFFull) return Nullable{};
    Bytes out;
    for (int guard = 0; guard < 100000; ++guard) {
        auto chunk = r.U32Le();
        if (!chunk) return std::nullopt;
        if (*chunk == 0) return Nullable{std::move(out)};
        auto data = r.Take(*chunk);
        if (!data) return std::nullopt;
        out.insert(out.end(), data->begin(), data->end());
    }
    return std::nullopt;
}

// Reads a length (all ones is NULL) with the given reader, then that many bytes.
template <typename Length>
std::optional<Nullable> ReadCounted(ByteReader& r, std::optional<Length> (ByteReader::*readLength)()) {
    const std::optional<Length> length = (r.*readLength)();
    if (!length) return std::nullopt;
    if (*length == std::numeric_limits<Length>::max()) return Nullable{};
    const std::optional<ByteSpan> bytes = r.Take(*length);
    if (!bytes) return std::nullopt;
    return Nullable{Bytes(bytes->begin(), bytes->end())};
}

std::size_t FixedIntSize(std::uint8_t type) {
    switch (type) {
        case kTypeInt1:
        case kTypeBit:
            return 1;
        case kTypeInt2:
            return 2;
        case kTypeInt4:
            return 4;
        default:
            return 8;
    }
}

struct ValueRead {
    const char* Malformed = nullptr;  // why the message is broken
    bool Unsupported = false;         // a type this server does not read (nothing was read)
};

// Reads a parameter's TYPE_INFO and value into `value`: integers and bits as numbers,
// character types as text (varchar in the code page its collation names).
ValueRead ReadValue(ByteReader& r, std::uint8_t type, SqlValue& value) {
    constexpr const char* kValueTruncated = "RPC parameter value truncated";
    constexpr const char* kTypeTruncated = "RPC parameter type truncated";
    std::optional<std::int64_t> number;
    Nullable text;  // character bytes; neither a number nor text is NULL
    const Collation* codePage = &Collation::Default();
    value.Unicode = type == kTypeNVarChar || type == kTypeNChar || type == kTypeNText;
    switch (type) {
        case kTypeInt1:
        case kTypeBit:
        case kTypeInt2:
        case kTypeInt4:
        case kTypeInt8: {
            auto v = r.Take(FixedIntSize(type));
            if (!v) return {kValueTruncated};
            number = LittleEndianInt(*v);
            break;
        }
        case kTypeIntN:
        case kTypeBitN: {
            auto max = r.U8();
            auto len = max ? r.U8() : std::nullopt;
            if (!len) return {kValueTruncated};
            if (*len == 0) break;
            auto v = r.Take(*len);
            if (!v) return {kValueTruncated};
            number = LittleEndianInt(*v);
            if (!number) return {"RPC integer of an impossible length"};
            break;
        }
        case kTypeBigVarChar:
        case kTypeBigChar:
        case kTypeNVarChar:
        case kTypeNChar: {
            auto max = r.U16Le();
            auto collation = max ? r.Take(5) : std::nullopt;
            if (!collation) return {kTypeTruncated};
            codePage = &Collation::ForTdsBytes(*collation);
            auto bytes = *max == 0xFFFF ? ReadPlp(r) : ReadCounted(r, &ByteReader::U16Le);
            if (!bytes) return {kValueTruncated};
            text = std::move(*bytes);
            break;
        }
        case kTypeText:
        case kTypeNText: {
            auto collation = r.U32Le() ? r.Take(5) : std::nullopt;
            if (!collation) return {kTypeTruncated};
            codePage = &Collation::ForTdsBytes(*collation);
            auto bytes = ReadCounted(r, &ByteReader::U32Le);
            if (!bytes) return {kValueTruncated};
            text = std::move(*bytes);
            break;
        }
        default:
            return {.Unsupported = true};
    }
    if (number) {
        value.Kind = ValueKind::Number;
        value.Text = std::to_string(*number);
    } else if (text) {
        value.Text = value.Unicode ? Utf16LeToUtf8(*text) : codePage->Decode(*text);
    } else {
        value.Kind = ValueKind::Null;
    }
    return {};
}

}  // namespace

std::optional<ByteSpan> SkipAllHeaders(ByteSpan payload) {
    ByteReader r(payload);
    auto total = r.U32Le();
    if (!total || *total < 4 || *total > payload.size()) return std::nullopt;
    return payload.subspan(*total);
}

std::optional<RpcRequest> ParseRpc(ByteSpan body, std::string& error, std::string& unsupported) {
    auto fail = [&](const char* why) -> std::optional<RpcRequest> {
        error = why;
        return std::nullopt;
    };
    RpcRequest req;
    ByteReader r(body);
    while (r.Remaining() > 0) {
        RpcCall call;
        auto nameLen = r.U16Le();
        if (!nameLen) return fail("RPC without a procedure name");
        if (*nameLen == 0xFFFF) {
            auto id = r.U16Le();
            if (!id) return fail("RPC procedure id truncated");
            call.ProcId = *id;
        } else {
            auto name = r.Take(static_cast<std::size_t>(*nameLen) * 2);
            if (!name) return fail("RPC procedure name truncated");
            call.Procedure = Utf16LeToUtf8(*name);
        }
        if (!r.U16Le()) return fail("RPC option flags truncated");
        while (r.Remaining() > 0) {
            const std::uint8_t next = r.Rest()[0];
            if (next == 0x80 || next == 0xFF || next == 0xFE) {  // separator before the next call
                r.Skip(1);
                break;
            }
            ProcArgument arg;
            auto paramNameLen = r.U8();
            auto paramName = paramNameLen ? r.Take(static_cast<std::size_t>(*paramNameLen) * 2) : std::nullopt;
            auto status = paramName ? r.U8() : std::nullopt;
            auto type = status ? r.U8() : std::nullopt;
            if (!type) return fail("RPC parameter header truncated");
            arg.Name = Utf16LeToUtf8(*paramName);
            const ValueRead read = ReadValue(r, *type, arg.Value);
            if (read.Unsupported) {
                unsupported = "RPC parameter type " + std::to_string(*type);
                return req;
            }
            if (read.Malformed) return fail(read.Malformed);
            call.Arguments.push_back(std::move(arg));
        }
        req.Calls.push_back(std::move(call));
    }
    if (req.Calls.empty()) return fail("empty RPC message");
    return req;
}

Bytes BuildRpcNVarCharCall(const std::string& procedure,
                           const std::vector<std::pair<std::string, std::string>>& params) {
    ByteWriter w;
    w.U16Le(static_cast<std::uint16_t>(Utf16Length(procedure)));
    w.Raw(Utf8ToUtf16Le(procedure));
    w.U16Le(0);
    for (const auto& [name, value] : params) {
        w.BVarChar(name);
        w.U8(0);
        w.U8(kTypeNVarChar);
        w.U16Le(8000);
        w.Raw(std::vector<std::uint8_t>{0x09, 0x04, 0xD0, 0x00, 0x34});
        Bytes v = Utf8ToUtf16Le(value);
        w.U16Le(static_cast<std::uint16_t>(v.size()));
        w.Raw(v);
    }
    return w.Take();
}

}  // namespace standin
