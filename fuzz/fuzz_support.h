// Helpers shared by the libFuzzer targets: turning fuzzer bytes into the text types the
// parsers take, and a check that stops the run with a message when a property breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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
