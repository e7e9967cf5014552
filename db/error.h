// The error every failure of the connection layer throws: the description text the
// operator reads, and the driver's diagnostic records for tests and logs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace db {

// One record of SQLGetDiagRecW: SQLSTATE, the server's or driver's native error number
// (for SQL Server errors the server's message number, e.g. 15010), and the message text.
struct DiagnosticRecord {
    std::wstring SqlState;
    long NativeError = 0;
    std::wstring Message;
};

// The most a description holds, in UTF-16 units and in lines: a message box that grows
// past the screen hides its button, and drivers' texts have no limit of their own.
inline constexpr std::size_t kMaxDescriptionUnits = 2048;
inline constexpr std::size_t kMaxDescriptionLines = 30;

// Both constructors make the description fit for a message box: a null or an unpaired
// surrogate becomes U+FFFD, and a text past the limits above is cut and ends in "…".
class Error : public base::Error {
public:
    // An error of the connection layer itself (bad connection string, no driver, ...).
    explicit Error(std::wstring description);
    // An error reported by the driver or the server. The description is the records'
    // message texts in order, one per line; when there are no records, `fallback`.
    Error(std::vector<DiagnosticRecord> records, std::wstring fallback);

    const std::vector<DiagnosticRecord>& Records() const noexcept { return records_; }
    // True when one of the records carries this native error number.
    bool HasNativeError(long number) const noexcept;
    // True when one of the records carries this SQLSTATE.
    bool HasSqlState(std::wstring_view state) const noexcept;

private:
    std::vector<DiagnosticRecord> records_;
};

}  // namespace db
