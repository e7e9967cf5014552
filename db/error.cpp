#include "db/error.h"

#include <utility>

#include "base/text.h"

namespace db {

namespace {

// The text as a message box can show it: a null (which would end the text there) and an
// unpaired surrogate become U+FFFD; a text longer than kMaxDescriptionUnits UTF-16 units
// or kMaxDescriptionLines lines is cut, between characters, and ends in "…".
std::wstring Showable(const std::wstring& text) {
    std::u32string chars = base::DecodeUtf8(base::ToUtf8(text));  // unpaired surrogates become U+FFFD
    std::size_t units = 0, lines = 1, fitting = 0, i = 0;
    for (; i < chars.size(); ++i) {
        if (chars[i] == U'\0') chars[i] = U'\uFFFD';
        if (chars[i] == U'\n' && ++lines > kMaxDescriptionLines) break;
        units += chars[i] >= 0x10000 ? 2 : 1;
        if (units > kMaxDescriptionUnits) break;
        if (units < kMaxDescriptionUnits) fitting = i + 1;  // room left for the "…"
    }
    if (i < chars.size()) {
        chars.resize(fitting);
        chars += U'…';
    }
    std::string utf8;
    for (char32_t c : chars) base::AppendUtf8(utf8, c);
    return base::FromUtf8(utf8);
}

std::wstring JoinMessages(const std::vector<DiagnosticRecord>& records, std::wstring fallback) {
    if (records.empty()) return fallback;
    std::wstring text;
    for (const DiagnosticRecord& record : records) {
        if (!text.empty()) text += L'\n';
        text += record.Message;
    }
    return text;
}

}  // namespace

Error::Error(std::wstring description) : base::Error(Showable(description)) {}

Error::Error(std::vector<DiagnosticRecord> records, std::wstring fallback)
    : base::Error(Showable(JoinMessages(records, std::move(fallback)))), records_(std::move(records)) {}

bool Error::HasNativeError(long number) const noexcept {
    for (const DiagnosticRecord& record : records_) {
        if (record.NativeError == number) return true;
    }
    return false;
}

bool Error::HasSqlState(std::wstring_view state) const noexcept {
    for (const DiagnosticRecord& record : records_) {
        if (record.SqlState == state) return true;
    }
    return false;
}

}  // namespace db
