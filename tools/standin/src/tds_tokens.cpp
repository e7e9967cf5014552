#include "tools/standin/src/tds_tokens.h"

namespace standin {
namespace {

constexpr std::uint8_t kTokenLoginAck = 0xAD;
constexpr std::uint8_t kTokenEnvChange = 0xE3;
constexpr std::uint8_t kTokenInfo = 0xAB;
constexpr std::uint8_t kTokenError = 0xAA;
constexpr std::uint8_t kTokenColMetadata = 0x81;
constexpr std::uint8_t kTokenRow = 0xD1;
constexpr std::uint8_t kTokenReturnStatus = 0x79;
constexpr std::uint8_t kTokenReturnValue = 0xAC;
constexpr std::uint8_t kTokenDone = 0xFD;
constexpr std::uint8_t kTokenDoneProc = 0xFE;
constexpr std::uint8_t kTokenDoneInProc = 0xFF;

constexpr std::uint8_t kTypeNVarChar = 0xE7;
constexpr std::uint8_t kTypeBigVarChar = 0xA7;
constexpr std::uint8_t kTypeIntN = 0x26;
constexpr std::uint8_t kTypeInt4 = 0x38;
constexpr std::uint8_t kTypeInt2 = 0x34;
constexpr std::uint8_t kTypeInt1 = 0x30;
constexpr std::uint8_t kTypeVariant = 0x62;
constexpr std::uint32_t kVariantMaxLength = 8009;

std::uint8_t IntSize(ColumnType t) { return t == ColumnType::TinyInt ? 1 : t == ColumnType::SmallInt ? 2 : 4; }
bool IsInt(ColumnType t) { return t == ColumnType::Int || t == ColumnType::SmallInt || t == ColumnType::TinyInt; }

}  // namespace

void TokenWriter::LoginAck(std::string_view program, std::uint32_t version) {
    w_.U8(kTokenLoginAck);
    const std::size_t lenPos = w_.Size();
    w_.U16Le(0);
    w_.U8(1);  // interface: SQL_TSQL
    w_.U32Be(version_);
    w_.BVarChar(program);
    w_.U32Be(version);
    w_.PatchU16Le(lenPos, static_cast<std::uint16_t>(w_.Size() - lenPos - 2));
}

void TokenWriter::EnvStrings(std::uint8_t type, std::string_view now, std::string_view before) {
    w_.U8(kTokenEnvChange);
    const std::size_t lenPos = w_.Size();
    w_.U16Le(0);
    w_.U8(type);
    w_.BVarChar(now);
    w_.BVarChar(before);
    w_.PatchU16Le(lenPos, static_cast<std::uint16_t>(w_.Size() - lenPos - 2));
}

void TokenWriter::EnvDatabase(std::string_view now, std::string_view before) { EnvStrings(1, now, before); }
void TokenWriter::EnvLanguage(std::string_view now, std::string_view before) { EnvStrings(2, now, before); }

void TokenWriter::EnvPacketSize(std::uint32_t now, std::uint32_t before) {
    EnvStrings(4, std::to_string(now), std::to_string(before));
}

void TokenWriter::EnvCollation() {
    const auto bytes = collation_.TdsBytes();
    w_.U8(kTokenEnvChange);
    w_.U16Le(static_cast<std::uint16_t>(1 + 1 + bytes.size() + 1));
    w_.U8(7);
    w_.U8(static_cast<std::uint8_t>(bytes.size()));
    w_.Raw(bytes);
    w_.U8(0);
}

void TokenWriter::EnvResetAck() {
    w_.U8(kTokenEnvChange);
    w_.U16Le(3);
    w_.U8(18);
    w_.U8(0);
    w_.U8(0);
}

void TokenWriter::Message(const ServerMessage& m, std::string_view serverName) {
    w_.U8(m.Severity > 10 ? kTokenError : kTokenInfo);
    const std::size_t lenPos = w_.Size();
    w_.U16Le(0);
    w_.U32Le(static_cast<std::uint32_t>(m.Number));
    w_.U8(m.State);
    w_.U8(m.Severity);
    w_.UsVarChar(m.Text);
    w_.BVarChar(serverName);
    w_.BVarChar(m.Procedure);
    if (version_ >= kTds72)
        w_.U32Le(static_cast<std::uint32_t>(m.Line));
    else
        w_.U16Le(static_cast<std::uint16_t>(m.Line));
    w_.PatchU16Le(lenPos, static_cast<std::uint16_t>(w_.Size() - lenPos - 2));
}

void TokenWriter::ColumnMetadata(const std::vector<Column>& columns) {
    w_.U8(kTokenColMetadata);
    w_.U16Le(static_cast<std::uint16_t>(columns.size()));
    for (const Column& c : columns) {
        if (version_ >= kTds72)
            w_.U32Le(0);
        else
            w_.U16Le(0);
        w_.U16Le(IsInt(c.Type) ? 0x0000 : 0x0001);  // flags: nullable for text and sql_variant
        if (IsInt(c.Type)) {
            w_.U8(kTypeIntN);
            w_.U8(IntSize(c.Type));
        } else if (c.Type == ColumnType::Variant) {
            w_.U8(kTypeVariant);
            w_.U32Le(kVariantMaxLength);
        } else {
            w_.U8(c.Type == ColumnType::VarChar ? kTypeBigVarChar : kTypeNVarChar);
            w_.U16Le(static_cast<std::uint16_t>(c.Type == ColumnType::VarChar ? c.MaxChars : c.MaxChars * 2));
            w_.Raw(collation_.TdsBytes());
        }
        w_.BVarChar(c.Name);
    }
}

void TokenWriter::Row(const std::vector<Column>& columns, const std::vector<Value>& values) {
    w_.U8(kTokenRow);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Value& v = values.at(i);
        const ColumnType type = columns[i].Type;
        if (IsInt(type)) {
            w_.U8(IntSize(type));
            IntValue(type, v.Number);
            continue;
        }
        if (type == ColumnType::Variant) {
            if (IsInt(v.Base)) {
                w_.U32Le(2u + IntSize(v.Base));
                w_.U8(v.Base == ColumnType::TinyInt    ? kTypeInt1
                      : v.Base == ColumnType::SmallInt ? kTypeInt2
                                                       : kTypeInt4);
                w_.U8(0);
                IntValue(v.Base, v.Number);
            } else if (!v.Text) {
                w_.U32Le(0);
            } else {
                Bytes u = Utf8ToUtf16Le(*v.Text);
                if (u.size() > 256) u.resize(256);
                w_.U32Le(static_cast<std::uint32_t>(2 + 7 + u.size()));
                w_.U8(kTypeNVarChar);
                w_.U8(7);  // collation and maximum length
                w_.Raw(collation_.TdsBytes());
                w_.U16Le(256);  // nvarchar(128)
                w_.Raw(u);
            }
            continue;
        }
        if (!v.Text) {
            w_.U16Le(0xFFFF);
            continue;
        }
        Bytes u = type == ColumnType::VarChar ? collation_.Encode(*v.Text) : Utf8ToUtf16Le(*v.Text);
        const std::size_t maxBytes =
            static_cast<std::size_t>(columns[i].MaxChars) * (type == ColumnType::VarChar ? 1 : 2);
        if (u.size() > maxBytes) u.resize(maxBytes);
        w_.U16Le(static_cast<std::uint16_t>(u.size()));
        w_.Raw(u);
    }
}

void TokenWriter::IntValue(ColumnType type, std::int32_t number) {
    if (type == ColumnType::TinyInt)
        w_.U8(static_cast<std::uint8_t>(number));
    else if (type == ColumnType::SmallInt)
        w_.U16Le(static_cast<std::uint16_t>(number));
    else
        w_.U32Le(static_cast<std::uint32_t>(number));
}

void TokenWriter::ReturnStatus(std::int32_t value) {
    w_.U8(kTokenReturnStatus);
    w_.U32Le(static_cast<std::uint32_t>(value));
}

void TokenWriter::ReturnValueInt(std::uint16_t ordinal, std::string_view name, std::int32_t value) {
    w_.U8(kTokenReturnValue);
    w_.U16Le(ordinal);
    w_.BVarChar(name);
    w_.U8(0x01);  // an output parameter
    if (version_ >= kTds72)
        w_.U32Le(0);
    else
        w_.U16Le(0);
    w_.U16Le(0x0001);
    w_.U8(kTypeIntN);
    w_.U8(4);
    w_.U8(4);
    w_.U32Le(static_cast<std::uint32_t>(value));
}

void TokenWriter::DoneToken(std::uint8_t token, std::uint16_t status, std::uint16_t cmd, std::uint64_t rows) {
    w_.U8(token);
    w_.U16Le(status);
    w_.U16Le(cmd);
    if (version_ >= kTds72)
        w_.U64Le(rows);
    else
        w_.U32Le(static_cast<std::uint32_t>(rows));
}

void TokenWriter::Done(std::uint16_t s, std::uint16_t c, std::uint64_t r) { DoneToken(kTokenDone, s, c, r); }
void TokenWriter::DoneProc(std::uint16_t s, std::uint16_t c, std::uint64_t r) { DoneToken(kTokenDoneProc, s, c, r); }
void TokenWriter::DoneInProc(std::uint16_t s, std::uint16_t c, std::uint64_t r) {
    DoneToken(kTokenDoneInProc, s, c, r);
}

}  // namespace standin
