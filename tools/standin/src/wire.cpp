#include "tools/standin/src/wire.h"

#include "base/text.h"

namespace standin {
namespace {

enum class Order { LittleEndian, BigEndian };

// The byte of v that goes at index i of its sizeof(T) bytes in the given order.
template <typename T>
std::size_t Shift(std::size_t i, Order order) {
    return 8 * (order == Order::BigEndian ? sizeof(T) - 1 - i : i);
}

template <typename T>
void Put(Bytes& out, T v, Order order) {
    for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<std::uint8_t>(v >> Shift<T>(i, order)));
}

template <typename T>
std::optional<T> Get(ByteReader& r, Order order) {
    const std::optional<ByteSpan> bytes = r.Take(sizeof(T));
    if (!bytes) return std::nullopt;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v = static_cast<T>(v | (static_cast<T>((*bytes)[i]) << Shift<T>(i, order)));
    return v;
}

bool IsSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

}  // namespace

std::string Utf16LeToUtf8(ByteSpan bytes) {
    std::string out;
    const std::size_t n = bytes.size() / 2;
    auto unit = [&](std::size_t i) { return static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); };
    for (std::size_t i = 0; i < n; ++i) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
            const char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                base::AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (IsSurrogate(u)) u = 0xFFFD;
        base::AppendUtf8(out, u);
    }
    return out;
}

Bytes Utf8ToUtf16Le(std::string_view text) {
    Bytes out;
    for (char32_t c : base::DecodeUtf8(text)) {
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            Put(out, static_cast<std::uint16_t>(0xD800 + (v >> 10)), Order::LittleEndian);
            Put(out, static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)), Order::LittleEndian);
        } else {
            Put(out, static_cast<std::uint16_t>(c), Order::LittleEndian);
        }
    }
    return out;
}

std::size_t Utf16Length(std::string_view text) { return Utf8ToUtf16Le(text).size() / 2; }

void ByteWriter::U16Le(std::uint16_t v) { Put(out_, v, Order::LittleEndian); }
void ByteWriter::U32Le(std::uint32_t v) { Put(out_, v, Order::LittleEndian); }
void ByteWriter::U64Le(std::uint64_t v) { Put(out_, v, Order::LittleEndian); }
void ByteWriter::U16Be(std::uint16_t v) { Put(out_, v, Order::BigEndian); }
void ByteWriter::U32Be(std::uint32_t v) { Put(out_, v, Order::BigEndian); }

void ByteWriter::BVarChar(std::string_view utf8) {
    Bytes u = Utf8ToUtf16Le(utf8);
    if (u.size() > 510) u.resize(510);
    U8(static_cast<std::uint8_t>(u.size() / 2));
    Raw(u);
}

void ByteWriter::UsVarChar(std::string_view utf8) {
    Bytes u = Utf8ToUtf16Le(utf8);
    if (u.size() > 0x1FFFE) u.resize(0x1FFFE);
    U16Le(static_cast<std::uint16_t>(u.size() / 2));
    Raw(u);
}

void ByteWriter::PatchU16Le(std::size_t pos, std::uint16_t v) {
    out_.at(pos) = v & 0xFF;
    out_.at(pos + 1) = v >> 8;
}

std::optional<ByteSpan> ByteReader::Take(std::size_t n) {
    if (n > Remaining()) return std::nullopt;
    ByteSpan s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
}

std::optional<std::uint8_t> ByteReader::U8() { return Get<std::uint8_t>(*this, Order::LittleEndian); }
std::optional<std::uint16_t> ByteReader::U16Le() { return Get<std::uint16_t>(*this, Order::LittleEndian); }
std::optional<std::uint32_t> ByteReader::U32Le() { return Get<std::uint32_t>(*this, Order::LittleEndian); }
std::optional<std::uint64_t> ByteReader::U64Le() { return Get<std::uint64_t>(*this, Order::LittleEndian); }
std::optional<std::uint16_t> ByteReader::U16Be() { return Get<std::uint16_t>(*this, Order::BigEndian); }
std::optional<std::uint32_t> ByteReader::U32Be() { return Get<std::uint32_t>(*this, Order::BigEndian); }

}  // namespace standin
