// Helpers shared by the libFuzzer targets: turning fuzzer bytes into the text types the
// parsers take, and a check that stops the run with a message when a property breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Two bytes per UTF-16 code unit, little-endian, as Windows text is laid out; an odd
// last byte is dropped. wchar_t holds the unit on every platform (32 bits on Linux).
inline std::wstring Utf16Units(const std::uint8_t* data, std::size_t size) {
    std::wstring out;
    out.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        out.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return out;
}

// The same units as the platform's wide text holds them: where wchar_t has 32 bits, a
// surrogate pair is one character, so the text means there what the units mean on Windows;
// an unpaired surrogate stays as it is.
inline std::wstring WideText(const std::uint8_t* data, std::size_t size) {
    std::wstring units = Utf16Units(data, size);
    if constexpr (sizeof(wchar_t) == 2) return units;
    std::wstring out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto c = static_cast<char32_t>(units[i]);
        const auto next = i + 1 < units.size() ? static_cast<char32_t>(units[i + 1]) : 0;
        if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00)));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
    }
    return out;
}

// The pieces of a text between separators (n separators give n + 1 pieces).
template <typename Char>
std::vector<std::basic_string<Char>> Split(std::basic_string_view<Char> text, Char separator) {
    std::vector<std::basic_string<Char>> pieces(1);
    for (Char c : text) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

inline std::string_view Chars(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A broken round trip is a bug even when nothing crashed: report it as a crash so
// libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

inline void Check(bool ok, const char* what) {
    if (!ok) Fail(what);
}

}  // namespace fuzz
