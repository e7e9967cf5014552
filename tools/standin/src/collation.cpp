#include "tools/standin/src/collation.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/text.h"

namespace standin {
namespace {

constexpr std::uint8_t kCi = Collation::kIgnoreCase | Collation::kIgnoreKana | Collation::kIgnoreWidth;
constexpr std::uint8_t kCs = Collation::kIgnoreKana | Collation::kIgnoreWidth;

// SQL collations carry a sort order id; Windows collations carry 0 and are named by their
// LCID. Code pages: 1252 for Latin1_General and SQL_Latin1_General_CP1, 936 (GBK) for
// Chinese_PRC.
const Collation kCollations[] = {
    {"SQL_Latin1_General_CP1_CI_AS", 0x0409, kCi, 52, 1252},
    {"SQL_Latin1_General_CP1_CS_AS", 0x0409, kCs, 51, 1252},
    {"Latin1_General_CI_AS", 0x0409, kCi, 0, 1252},
    {"Latin1_General_CS_AS", 0x0409, kCs, 0, 1252},
    {"Chinese_PRC_CI_AS", 0x0804, kCi, 0, 936},
    {"Chinese_PRC_CS_AS", 0x0804, kCs, 0, 936},
};

struct IconvCloser {
    void operator()(void* cd) const { ::iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
    iconv_t cd = ::iconv_open(to, from);
    // glibc always has these two code pages; without them nothing here could work.
    if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();
    return IconvHandle(cd);
}

std::string CodePageName(int codePage) { return "CP" + std::to_string(codePage); }

// Runs one conversion step; false when the input is not convertible (EILSEQ/EINVAL).
bool Convert(void* cd, const char* in, std::size_t inLen, std::string& out) {
    char buf[16];
    char* src = const_cast<char*>(in);
    char* dst = buf;
    std::size_t left = sizeof buf;
    ::iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    if (::iconv(static_cast<iconv_t>(cd), &src, &inLen, &dst, &left) == static_cast<std::size_t>(-1)) return false;
    out.append(buf, sizeof buf - left);
    return true;
}

}  // namespace

const Collation* Collation::Find(std::string_view name) {
    for (const Collation& c : kCollations)
        if (base::EqualsIgnoringAsciiCase(c.Name(), name)) return &c;
    return nullptr;
}

const Collation& Collation::Default() { return kCollations[0]; }

std::vector<std::string> Collation::Names() {
    std::vector<std::string> out;
    for (const Collation& c : kCollations) out.push_back(c.Name());
    return out;
}

const Collation& Collation::ForTdsBytes(ByteSpan b) {
    if (b.size() < 5) return Default();
    const std::uint32_t lcid = b[0] | (b[1] << 8) | ((b[2] & 0x0F) << 16);
    for (const Collation& c : kCollations)
        if (b[4] != 0 ? c.SortId() == b[4] : c.SortId() == 0 && c.Lcid() == lcid) return c;
    return Default();
}

std::array<std::uint8_t, 5> Collation::TdsBytes() const {
    const std::uint32_t info = (lcid_ & 0xFFFFF) | (static_cast<std::uint32_t>(flags_) << 20);
    return {static_cast<std::uint8_t>(info), static_cast<std::uint8_t>(info >> 8),
            static_cast<std::uint8_t>(info >> 16), static_cast<std::uint8_t>(info >> 24), sortId_};
}

Bytes Collation::Encode(std::string_view utf8) const {
    // ASCII is the same in every code page here; most literals are nothing else.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return Bytes(utf8.begin(), utf8.end());
    }
    IconvHandle cd = OpenIconv(CodePageName(codePage_).c_str(), "UTF-8");
    Bytes out;
    std::string one, converted;
    // Character by character, so one character the code page lacks costs only itself.
    for (char32_t c : base::DecodeUtf8(utf8)) {
        if (c < 0x80) {
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        one.clear();
        converted.clear();
        base::AppendUtf8(one, c);
        if (Convert(cd.get(), one.data(), one.size(), converted)) {
            out.insert(out.end(), converted.begin(), converted.end());
        } else {
            out.push_back('?');
            if (c >= 0x10000) out.push_back('?');
        }
    }
    return out;
}

std::string Collation::Decode(ByteSpan bytes) const {
    if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; })) {
        return std::string(bytes.begin(), bytes.end());
    }
    IconvHandle cd = OpenIconv("UTF-8", CodePageName(codePage_).c_str());
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] < 0x80) {
            out.push_back(static_cast<char>(bytes[i++]));
            continue;
        }
        // Multi-byte code pages use at most two bytes a character here (936 is GBK).
        const char* p = reinterpret_cast<const char*>(bytes.data() + i);
        if (Convert(cd.get(), p, 1, out)) {
            i += 1;
            continue;
        }
        if (i + 1 < bytes.size() && Convert(cd.get(), p, 2, out)) {
            i += 2;
            continue;
        }
        out.push_back('?');
        i += 1;
    }
    return out;
}

std::u32string Collation::Fold(std::string_view utf8) const {
    std::u32string out = base::DecodeUtf8(utf8);
    for (char32_t& c : out) {
        if ((flags_ & kIgnoreWidth) && c >= 0xFF01 && c <= 0xFF5E) c = c - 0xFF01 + 0x21;  // full-width ASCII
        if ((flags_ & kIgnoreKana) && c >= 0x30A1 && c <= 0x30F6) c = c - 0x60;            // katakana as hiragana
        // The system's lower case covers all of Unicode, whatever the process's locale is.
        if (flags_ & kIgnoreCase) c = static_cast<char32_t>(base::LowerCase(static_cast<wchar_t>(c)));
    }
    return out;
}

}  // namespace standin
