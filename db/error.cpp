#include "db/error.h"

#include <utility>

namespace db {

namespace {

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

Error::Error(std::wstring description) : base::Error(std::move(description)) {}

Error::Error(std::vector<DiagnosticRecord> records, std::wstring fallback)
    : base::Error(JoinMessages(records, std::move(fallback))), records_(std::move(records)) {}

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
