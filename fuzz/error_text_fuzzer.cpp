// The text of the box a failed detach shows: db::Error's description, made from the
// driver's diagnostic records (db/error.cpp). Their texts come as the driver and the
// server give them: of any length and number, with embedded nulls and unpaired
// surrogates. The input is UTF-16 units, records separated by U+FFFF (a noncharacter no
// message holds); the records go once and, as from a driver that sends many, 40 times.
// Properties:
//  - the description is valid UTF-16 (no null, no unpaired surrogate);
//  - it has at most db::kMaxDescriptionUnits UTF-16 units and db::kMaxDescriptionLines lines;
//  - it is the messages one per line with only their unreadable units replaced, or, when
//    they do not fit, the start of that ending in "…".
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/error.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHigh(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The messages one per line, each null and unpaired surrogate as U+FFFD.
std::wstring Readable(const std::vector<db::DiagnosticRecord>& records) {
    std::wstring text;
    for (const db::DiagnosticRecord& r : records) {
        if (!text.empty()) text += L'\n';
        text += r.Message;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool paired = sizeof(wchar_t) == 2 && IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]);
        if (paired)
            ++i;
        else if (text[i] == L'\0' || IsSurrogate(text[i]))
            text[i] = kReplacement;
    }
    return text;
}

void CheckDescription(const std::vector<db::DiagnosticRecord>& records) {
    const std::wstring text = db::Error(records, L"fallback").Description();
    std::size_t units = 0, lines = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        fuzz::Check(text[i] != L'\0', "a null in the box's text");
        if (sizeof(wchar_t) == 2 && IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
            units += 2;
            ++i;
            continue;
        }
        fuzz::Check(!IsSurrogate(text[i]), "an unpaired surrogate in the box's text");
        units += static_cast<std::uint32_t>(text[i]) >= 0x10000 ? 2 : 1;
        if (text[i] == L'\n') ++lines;
    }
    fuzz::Check(units <= db::kMaxDescriptionUnits, "the box's text is too long");
    fuzz::Check(lines <= db::kMaxDescriptionLines, "the box's text has too many lines");
    const std::wstring readable = Readable(records);
    if (text == readable) return;
    fuzz::Check(!text.empty() && text.back() == L'…', "the box's text was changed but does not say it was cut");
    fuzz::Check(readable.starts_with(std::wstring_view(text).substr(0, text.size() - 1)),
                "the box's text is not the start of the messages");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<db::DiagnosticRecord> records;
    for (std::wstring& message : fuzz::Split(std::wstring_view(fuzz::WideText(data, size)), L'\uFFFF'))
        records.push_back({L"42000", 15010, std::move(message)});
    CheckDescription(records);
    std::vector<db::DiagnosticRecord> many;
    for (int i = 0; i < 40; ++i) many.insert(many.end(), records.begin(), records.end());
    CheckDescription(many);
    return 0;
}
