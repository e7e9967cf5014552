// UTF-8 <-> UTF-16 where wchar_t is 16 bits wide: characters beyond the BMP travel as
// surrogate pairs, and a surrogate without its partner becomes U+FFFD.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "host/error.h"

namespace dorvane::test {
namespace {

static_assert(sizeof(wchar_t) == 2);

TEST(HostUtf16, CharactersBeyondTheBmpArePairs) {
    const std::wstring text = L"分离 \U00020000 \U0001F600 \U0010FFFF";
    EXPECT_EQ(base::FromUtf8(base::ToUtf8(text)), text);
    EXPECT_EQ(base::FromUtf8("\xF0\xA0\x80\x80"), (std::wstring{wchar_t(0xD840), wchar_t(0xDC00)}));
    EXPECT_EQ(base::ToUtf8(std::wstring{wchar_t(0xDBFF), wchar_t(0xDFFF)}), "\xF4\x8F\xBF\xBF");
}

TEST(HostUtf16, UnpairedSurrogatesBecomeReplacementCharacters) {
    const struct {
        std::wstring In;
        std::string Out;
    } cases[] = {
        {{wchar_t(0xD800)}, "\xEF\xBF\xBD"},                               // high at the end
        {{wchar_t(0xD800), L'x'}, "\xEF\xBF\xBDx"},                        // high before a plain one
        {{wchar_t(0xDC00), wchar_t(0xD800)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // the wrong order
        {{wchar_t(0xD800), wchar_t(0xD800), wchar_t(0xDC00)}, "\xEF\xBF\xBD\xF0\x90\x80\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(base::ToUtf8(c.In), c.Out) << testing::PrintToString(c.Out);
    EXPECT_EQ(base::FromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
}

}  // namespace
}  // namespace dorvane::test
