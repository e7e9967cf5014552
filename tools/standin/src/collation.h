// Server collations: the name clients see, the five bytes TDS carries for it, the code page
// that non-Unicode text is held in, and how names compare under it. Every database of the
// stand-in uses the server's collation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/src/wire.h"

namespace standin {

class Collation {
public:
    // A collation the stand-in knows by name (compared without case), or nullptr.
    static const Collation* Find(std::string_view name);
    // SQL_Latin1_General_CP1_CI_AS: what SQL Server's setup picks on an English (United
    // States) Windows, and the one most clients have met.
    static const Collation& Default();
    static std::vector<std::string> Names();
    // The known collation whose code page the five TDS bytes name (by sort id, else by
    // LCID); the default one for others.
    static const Collation& ForTdsBytes(ByteSpan bytes);

    const std::string& Name() const { return name_; }
    int CodePage() const { return codePage_; }
    std::uint32_t Lcid() const { return lcid_; }
    std::uint8_t SortId() const { return sortId_; }
    bool CaseSensitive() const { return !(flags_ & kIgnoreCase); }
    // COLLATION as TDS sends it: LCID (20 bits), ColFlags (8), version (4), SortId.
    std::array<std::uint8_t, 5> TdsBytes() const;

    // UTF-8 text as a varchar of this code page holds it: every character the code page
    // lacks becomes '?', one per UTF-16 unit (a character beyond U+FFFF gives "??").
    Bytes Encode(std::string_view utf8) const;
    // Code page bytes back to UTF-8 (a byte sequence that is not valid there gives '?').
    std::string Decode(ByteSpan bytes) const;
    // What a literal without N keeps of its text: Decode(Encode(utf8)).
    std::string ThroughCodePage(std::string_view utf8) const { return Decode(Encode(utf8)); }

    // Names compare by the collation: case only when case-insensitive, and always without
    // kana type and width (none of the collations here is _KS or _WS); accents count.
    bool Equal(std::string_view a, std::string_view b) const { return Fold(a) == Fold(b); }
    // The key that Equal compares; ORDER BY sorts by it.
    std::u32string Fold(std::string_view utf8) const;

    static constexpr std::uint8_t kIgnoreCase = 0x01, kIgnoreAccent = 0x02, kIgnoreKana = 0x04, kIgnoreWidth = 0x08;

    Collation(std::string name, std::uint32_t lcid, std::uint8_t flags, std::uint8_t sortId, int codePage)
        : name_(std::move(name)), lcid_(lcid), flags_(flags), sortId_(sortId), codePage_(codePage) {}

private:
    std::string name_;
    std::uint32_t lcid_;
    std::uint8_t flags_;
    std::uint8_t sortId_;
    int codePage_;
};

}  // namespace standin
