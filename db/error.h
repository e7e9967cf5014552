// The error every failure of the connection layer throws: the description text the
// operator reads, and the driver's diagnostic records for tests and logs.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace db {

// One record of SQLGetDiagRecW: SQLSTATE, the server's or driver's native error number
// (for SQL Server errors the server's message number, e.g. 15010), and the message text.
struct DiagnosticRecord {
  std::wstring sqlState;
  long nativeError = 0;
  std::wstring message;
};

class Error : public std::exception {
 public:
  // An error of the connection layer itself (bad connection string, no driver, ...).
  explicit Error(std::wstring description);
  // An error reported by the driver or the server. The description is the records'
  // message texts in order, one per line; when there are no records, `fallback`.
  Error(std::vector<DiagnosticRecord> records, std::wstring fallback);

  // The text shown to the operator.
  const std::wstring& Description() const noexcept { return description_; }
  const std::vector<DiagnosticRecord>& Records() const noexcept { return records_; }
  // True when one of the records carries this native error number.
  bool HasNativeError(long number) const noexcept;
  // True when one of the records carries this SQLSTATE.
  bool HasSqlState(std::wstring_view state) const noexcept;

  // The description in UTF-8.
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::wstring description_;
  std::vector<DiagnosticRecord> records_;
  std::string utf8_;
};

// UTF-8 of a wide string (UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere); a lone
// surrogate or an invalid code point becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);

}  // namespace db
