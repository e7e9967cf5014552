#include "tools/standin/src/rpc.h"

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

// Reads a PLP value (varchar(max)/nvarchar(max)): total length, then chunks up to a 0 chunk.
std::optional<std::optional<Bytes>> ReadPlp(ByteReader& r) {
    auto total = r.U64Le();
    if (!total) return std::nullopt;
    if (*total == 0xFFFFFFFFFFFFFFFFull) return std::optional<Bytes>{};
    Bytes out;
    for (int guard = 0; guard < 100000; ++guard) {
        auto chunk = r.U32Le();
        if (!chunk) return std::nullopt;
        if (*chunk == 0) return std::optional<Bytes>{std::move(out)};
        auto data = r.Take(*chunk);
        if (!data) return std::nullopt;
        out.insert(out.end(), data->begin(), data->end());
    }
    return std::nullopt;
}

}  // namespace

std::optional<ByteSpan> SkipAllHeaders(ByteSpan payload) {
    ByteReader r(payload);
    auto total = r.U32Le();
    if (!total || *total < 4 || *total > payload.size()) return std::nullopt;
    return payload.subspan(*total);
}

std::optional<RpcRequest> ParseRpc(ByteSpan body, std::string* error, std::string* unsupported) {
    auto fail = [&](const char* why) -> std::optional<RpcRequest> {
        if (error) *error = why;
        return std::nullopt;
    };
    RpcRequest req;
    ByteReader r(body);
    while (r.Remaining() > 0) {
        RpcCall call;
        auto name_len = r.U16Le();
        if (!name_len) return fail("RPC without a procedure name");
        if (*name_len == 0xFFFF) {
            auto id = r.U16Le();
            if (!id) return fail("RPC procedure id truncated");
            call.proc_id = *id;
        } else {
            auto name = r.Take(static_cast<std::size_t>(*name_len) * 2);
            if (!name) return fail("RPC procedure name truncated");
            call.procedure = Utf16LeToUtf8(*name);
        }
        if (!r.U16Le()) return fail("RPC option flags truncated");
        while (r.Remaining() > 0) {
            const std::uint8_t next = r.Rest()[0];
            if (next == 0x80 || next == 0xFF || next == 0xFE) {  // separator before the next call
                r.Skip(1);
                break;
            }
            ProcArgument arg;
            auto pname_len = r.U8();
            auto pname = pname_len ? r.Take(static_cast<std::size_t>(*pname_len) * 2) : std::nullopt;
            auto status = pname ? r.U8() : std::nullopt;
            auto type = status ? r.U8() : std::nullopt;
            if (!type) return fail("RPC parameter header truncated");
            arg.name = Utf16LeToUtf8(*pname);
            std::optional<Bytes> raw;                            // string bytes, nullopt for NULL
            const Collation* code_page = &Collation::Default();  // of a varchar value
            std::optional<std::int64_t> number;
            bool unicode = false, is_null = false;
            switch (*type) {
                case kTypeInt1:
                case kTypeBit:
                case kTypeInt2:
                case kTypeInt4:
                case kTypeInt8: {
                    const std::size_t n = *type == kTypeInt1 || *type == kTypeBit ? 1
                                          : *type == kTypeInt2                    ? 2
                                          : *type == kTypeInt4                    ? 4
                                                                                  : 8;
                    auto v = r.Take(n);
                    if (!v) return fail("RPC parameter value truncated");
                    number = LittleEndianInt(*v);
                    break;
                }
                case kTypeIntN:
                case kTypeBitN: {
                    auto max = r.U8();
                    auto len = max ? r.U8() : std::nullopt;
                    if (!len) return fail("RPC parameter value truncated");
                    if (*len == 0) {
                        is_null = true;
                        break;
                    }
                    auto v = r.Take(*len);
                    if (!v) return fail("RPC parameter value truncated");
                    number = LittleEndianInt(*v);
                    if (!number) return fail("RPC integer of an impossible length");
                    break;
                }
                case kTypeBigVarChar:
                case kTypeBigChar:
                case kTypeNVarChar:
                case kTypeNChar: {
                    unicode = *type == kTypeNVarChar || *type == kTypeNChar;
                    auto max = r.U16Le();
                    auto collation = max ? r.Take(5) : std::nullopt;
                    if (!collation) return fail("RPC parameter type truncated");
                    code_page = &Collation::ForTdsBytes(*collation);
                    if (*max == 0xFFFF) {
                        auto plp = ReadPlp(r);
                        if (!plp) return fail("RPC parameter value truncated");
                        raw = std::move(*plp);
                        is_null = !raw;
                        break;
                    }
                    auto len = r.U16Le();
                    if (!len) return fail("RPC parameter value truncated");
                    if (*len == 0xFFFF) {
                        is_null = true;
                        break;
                    }
                    auto v = r.Take(*len);
                    if (!v) return fail("RPC parameter value truncated");
                    raw = Bytes(v->begin(), v->end());
                    break;
                }
                case kTypeText:
                case kTypeNText: {
                    unicode = *type == kTypeNText;
                    auto collation = r.U32Le() ? r.Take(5) : std::nullopt;
                    if (!collation) return fail("RPC parameter type truncated");
                    code_page = &Collation::ForTdsBytes(*collation);
                    auto len = r.U32Le();
                    if (!len) return fail("RPC parameter value truncated");
                    if (*len == 0xFFFFFFFFu) {
                        is_null = true;
                        break;
                    }
                    auto v = r.Take(*len);
                    if (!v) return fail("RPC parameter value truncated");
                    raw = Bytes(v->begin(), v->end());
                    break;
                }
                default:
                    if (unsupported) *unsupported = "RPC parameter type " + std::to_string(*type);
                    return req;
            }
            if (is_null)
                arg.value.kind = SqlValue::Kind::kNull;
            else if (number) {
                arg.value.kind = SqlValue::Kind::kNumber;
                arg.value.text = std::to_string(*number);
            } else
                arg.value.text = unicode ? Utf16LeToUtf8(*raw) : code_page->Decode(*raw);
            arg.value.unicode = unicode;
            call.arguments.push_back(std::move(arg));
        }
        req.calls.push_back(std::move(call));
    }
    if (req.calls.empty()) return fail("empty RPC message");
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
