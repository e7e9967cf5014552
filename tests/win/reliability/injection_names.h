// Generated server and database names for the injection tests: quotes of both kinds,
// brackets, semicolons, comment markers, ODBC escape and parameter characters, control
// characters (never NUL), blanks and CJK text, mixed at random from a fixed seed so a
// failure names a reproducible case.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace dorvane::test {

inline std::vector<std::wstring> GenerateNames(std::size_t count, std::uint32_t seed) {
    static const wchar_t* const kPieces[] = {
        L"'",           L"''",          L"\"", L"[",  L"]",  L"]]", L";",      L"--",
        L"/*",          L"*/",          L" ",  L"{",  L"}",  L"?",  L"=",      L",",
        L"(",           L")",           L"@",  L"N'", L"%",  L"\\", L"\t",     L"db",
        L"x",           L"ZVQ",         L"_",  L"0",  L"分", L"离", L"数据库", L"'); DROP DATABASE master; --",
        L"','false'--", L"{fn user()}",
    };
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pieces(1, 8), kind(0, 9);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> control(1, 31), cjk(0x4E00, 0x9FA5), ascii(0x21, 0x7E);
    std::vector<std::wstring> names;
    names.reserve(count);
    while (names.size() < count) {
        std::wstring name;
        for (int n = pieces(rng); n > 0; --n) {
            switch (kind(rng)) {
                case 0:
                    name += static_cast<wchar_t>(control(rng));
                    break;
                case 1:
                    name += static_cast<wchar_t>(cjk(rng));
                    break;
                case 2:
                    name += static_cast<wchar_t>(ascii(rng));
                    break;
                default:
                    name += kPieces[piece(rng)];
                    break;
            }
        }
        // Within sysname's 128 characters.
        if (name.size() > 100) name.resize(100);
        names.push_back(name);
    }
    return names;
}

}  // namespace dorvane::test
