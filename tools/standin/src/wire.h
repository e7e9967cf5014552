// Byte-level helpers for the TDS wire format: little- and big-endian integers, UCS-2
// text (converted through base/text.h) and a bounds-checked reader over a byte span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

// UTF-16LE bytes (TDS calls them UCS-2) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(ByteSpan bytes);
// UTF-8 to UTF-16LE bytes; invalid sequences become U+FFFD.
Bytes Utf8ToUtf16Le(std::string_view text);
// Number of UTF-16 code units that Utf8ToUtf16Le produces.
std::size_t Utf16Length(std::string_view text);

class ByteWriter {
public:
    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16Le(std::uint16_t v);
    void U32Le(std::uint32_t v);
    void U64Le(std::uint64_t v);
    void U16Be(std::uint16_t v);
    void U32Be(std::uint32_t v);
    void Raw(ByteSpan bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    // B_VARCHAR: a one-byte length in characters, then UCS-2 (cut at 255 characters).
    void BVarChar(std::string_view utf8);
    // US_VARCHAR: a two-byte length in characters, then UCS-2.
    void UsVarChar(std::string_view utf8);
    std::size_t Size() const { return out_.size(); }
    // Writes a little-endian uint16 over two bytes already written at pos.
    void PatchU16Le(std::size_t pos, std::uint16_t v);
    Bytes& Data() { return out_; }
    Bytes Take() { return std::move(out_); }

private:
    Bytes out_;
};

// Reads fields from a span; every read reports failure instead of running past the end.
class ByteReader {
public:
    explicit ByteReader(ByteSpan data) : data_(data) {}
    std::optional<std::uint8_t> U8();
    std::optional<std::uint16_t> U16Le();
    std::optional<std::uint32_t> U32Le();
    std::optional<std::uint64_t> U64Le();
    std::optional<std::uint16_t> U16Be();
    std::optional<std::uint32_t> U32Be();
    std::optional<ByteSpan> Take(std::size_t n);
    bool Skip(std::size_t n) { return Take(n).has_value(); }
    std::size_t Remaining() const { return data_.size() - pos_; }
    std::size_t Position() const { return pos_; }
    ByteSpan Rest() const { return data_.subspan(pos_); }

private:
    ByteSpan data_;
    std::size_t pos_ = 0;
};

}  // namespace standin
