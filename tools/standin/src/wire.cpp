#include "tools/standin/src/wire.h"

#include <algorithm>

namespace standin {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= s.size()) {
                ok = false;
                break;
            }
            const auto cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string Utf16LeToUtf8(ByteSpan bytes) {
    std::string out;
    const std::size_t n = bytes.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        char32_t u = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
            const char32_t lo = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

Bytes Utf8ToUtf16Le(std::string_view text) {
    Bytes out;
    for (char32_t c : DecodeUtf8(text)) {
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            const auto hi = static_cast<std::uint16_t>(0xD800 + (v >> 10));
            const auto lo = static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF));
            out.push_back(hi & 0xFF);
            out.push_back(hi >> 8);
            out.push_back(lo & 0xFF);
            out.push_back(lo >> 8);
        } else {
            out.push_back(static_cast<std::uint8_t>(c & 0xFF));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    }
    return out;
}

std::size_t Utf16Length(std::string_view text) { return Utf8ToUtf16Le(text).size() / 2; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string ToLowerAscii(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string ToUpperAscii(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

void ByteWriter::U16Le(std::uint16_t v) {
    U8(v & 0xFF);
    U8(v >> 8);
}
void ByteWriter::U32Le(std::uint32_t v) {
    U16Le(v & 0xFFFF);
    U16Le(v >> 16);
}
void ByteWriter::U64Le(std::uint64_t v) {
    U32Le(v & 0xFFFFFFFFu);
    U32Le(static_cast<std::uint32_t>(v >> 32));
}
void ByteWriter::U16Be(std::uint16_t v) {
    U8(v >> 8);
    U8(v & 0xFF);
}
void ByteWriter::U32Be(std::uint32_t v) {
    U16Be(v >> 16);
    U16Be(v & 0xFFFF);
}

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

std::optional<std::uint8_t> ByteReader::U8() {
    auto s = Take(1);
    if (!s) return std::nullopt;
    return (*s)[0];
}

std::optional<std::uint16_t> ByteReader::U16Le() {
    auto s = Take(2);
    if (!s) return std::nullopt;
    return static_cast<std::uint16_t>((*s)[0] | ((*s)[1] << 8));
}

std::optional<std::uint32_t> ByteReader::U32Le() {
    auto s = Take(4);
    if (!s) return std::nullopt;
    return static_cast<std::uint32_t>((*s)[0]) | (static_cast<std::uint32_t>((*s)[1]) << 8) |
           (static_cast<std::uint32_t>((*s)[2]) << 16) | (static_cast<std::uint32_t>((*s)[3]) << 24);
}

std::optional<std::uint64_t> ByteReader::U64Le() {
    auto lo = U32Le();
    if (!lo) return std::nullopt;
    auto hi = U32Le();
    if (!hi) return std::nullopt;
    return (static_cast<std::uint64_t>(*hi) << 32) | *lo;
}

std::optional<std::uint16_t> ByteReader::U16Be() {
    auto s = Take(2);
    if (!s) return std::nullopt;
    return static_cast<std::uint16_t>(((*s)[0] << 8) | (*s)[1]);
}

std::optional<std::uint32_t> ByteReader::U32Be() {
    auto hi = U16Be();
    if (!hi) return std::nullopt;
    auto lo = U16Be();
    if (!lo) return std::nullopt;
    return (static_cast<std::uint32_t>(*hi) << 16) | *lo;
}

}  // namespace standin
