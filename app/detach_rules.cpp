#include "app/detach_rules.h"

#include <algorithm>

#include "base/text.h"

namespace app {

namespace {

constexpr std::wstring_view kLogSuffix = L"Log.LDF";
constexpr size_t kPathCut = 8;   // "Data.MDF"
constexpr size_t kTitleCut = 9;  // "_Data.MDF"

std::wstring_view Left(std::wstring_view text, size_t cut) {
    // Shorter than the cut: nothing is left, as when the length equals it.
    return text.size() > cut ? text.substr(0, text.size() - cut) : std::wstring_view();
}

}  // namespace

std::wstring DeriveLogPath(std::wstring_view fileName) {
    return std::wstring(Left(fileName, kPathCut)) + std::wstring(kLogSuffix);
}

std::wstring DeriveDatabaseName(std::wstring_view fileTitle) { return std::wstring(Left(fileTitle, kTitleCut)); }

std::wstring BuildConnectionString(std::wstring_view server) {
    return L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='" + base::DoubleQuotes(server, L'\'') +
           L"';User ID=sa;Initial Catalog=master";
}

std::wstring BuildDetachStatement(std::wstring_view databaseName) {
    const bool ascii = std::all_of(databaseName.begin(), databaseName.end(), [](wchar_t c) { return c < 0x80; });
    return std::wstring(ascii ? L"sp_detach_db '" : L"sp_detach_db N'") + base::DoubleQuotes(databaseName, L'\'') +
           L"','true'";
}

}  // namespace app
