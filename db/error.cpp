#include "db/error.h"

#include <utility>

namespace db {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::wstring JoinMessages(const std::vector<DiagnosticRecord>& records, std::wstring fallback) {
  if (records.empty()) return fallback;
  std::wstring text;
  for (const DiagnosticRecord& record : records) {
    if (!text.empty()) text += L'\n';
    text += record.message;
  }
  return text;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
        const char32_t low = static_cast<char32_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    AppendUtf8(out, cp);
  }
  return out;
}

Error::Error(std::wstring description)
    : description_(std::move(description)), utf8_(ToUtf8(description_)) {}

Error::Error(std::vector<DiagnosticRecord> records, std::wstring fallback)
    : description_(JoinMessages(records, std::move(fallback))),
      records_(std::move(records)),
      utf8_(ToUtf8(description_)) {}

bool Error::HasNativeError(long number) const noexcept {
  for (const DiagnosticRecord& record : records_) {
    if (record.nativeError == number) return true;
  }
  return false;
}

bool Error::HasSqlState(std::wstring_view state) const noexcept {
  for (const DiagnosticRecord& record : records_) {
    if (record.sqlState == state) return true;
  }
  return false;
}

}  // namespace db
