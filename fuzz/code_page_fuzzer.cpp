// The code-page conversion of non-Unicode text (collation.cpp, through iconv), both ways,
// for every collation the stand-in knows. The input is taken as UTF-8 text, as UTF-16LE
// text (so that any character of the Basic Multilingual Plane is two bytes away), and as
// bytes of the code page. Properties:
//  - a literal without N keeps every character its code page has and gets one '?' for
//    each UTF-16 unit of a character it lacks, so nothing moves, merges or grows;
//  - what the code page's bytes decode to is valid UTF-8, and it reads back the same
//    through the code page (decoded text is text the code page holds).
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "tools/standin/src/collation.h"
#include "tools/standin/src/wire.h"

namespace {

bool ValidUtf8(const std::string& text) {
    std::string again;
    for (char32_t c : base::DecodeUtf8(text)) base::AppendUtf8(again, c);
    return again == text;
}

void CheckLiteral(const standin::Collation& collation, const std::string& utf8) {
    const std::u32string before = base::DecodeUtf8(utf8);
    const std::u32string after = base::DecodeUtf8(collation.ThroughCodePage(utf8));
    std::size_t j = 0;
    for (char32_t c : before) {
        if (j < after.size() && after[j] == c) {
            ++j;
            continue;
        }
        for (int unit = c >= 0x10000 ? 2 : 1; unit > 0; --unit, ++j) {
            fuzz::Check(j < after.size() && after[j] == U'?',
                        "a character the code page lacks did not become one '?' per UTF-16 unit");
        }
    }
    fuzz::Check(j == after.size(), "the code page added characters to a literal");
}

void CheckBytes(const standin::Collation& collation, standin::ByteSpan bytes) {
    const std::string decoded = collation.Decode(bytes);
    fuzz::Check(ValidUtf8(decoded), "code page bytes decoded to invalid UTF-8");
    fuzz::Check(collation.ThroughCodePage(decoded) == decoded, "decoded text does not read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const standin::ByteSpan bytes(data, size);
    const std::string asUtf8(fuzz::Chars(data, size));
    const std::string fromUtf16 = standin::Utf16LeToUtf8(bytes);
    for (const std::string& name : standin::Collation::Names()) {
        const standin::Collation& collation = *standin::Collation::Find(name);
        CheckLiteral(collation, asUtf8);
        CheckLiteral(collation, fromUtf16);
        CheckBytes(collation, bytes);
    }
    return 0;
}
