// Driver texts the error_text fuzzer found (error_text/one_line_records: one record of one
// character, which the target also sends as many records): the box's text grew a line for
// every record a driver sent, and as long as their texts were. A null inside a text ended the box's text there (the box
// reads up to the first null), and an unpaired surrogate was shown as it came.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "db/error.h"

namespace {

std::wstring Description(const std::vector<std::wstring>& messages) {
    std::vector<db::DiagnosticRecord> records;
    for (const std::wstring& m : messages) records.push_back({L"42000", 15010, m});
    return db::Error(records, L"no record").Description();
}

TEST(ErrorTextRegression, ManyRecordsAreCutAtTheLineLimit) {
    const std::wstring text = Description(std::vector<std::wstring>(200, L"\u8B0A"));
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n')), db::kMaxDescriptionLines - 1);
    EXPECT_EQ(text.back(), L'…');
    EXPECT_EQ(Description({L"one", L"two"}), L"one\ntwo");  // texts within the limits stay as they are
}

TEST(ErrorTextRegression, LongTextsAreCutBetweenCharacters) {
    // The character beyond U+FFFF would take the last unit and the next: the cut comes before it.
    const std::wstring text = Description({std::wstring(db::kMaxDescriptionUnits - 2, L'a') + L"\U0001D4B3 and more"});
    EXPECT_EQ(text, std::wstring(db::kMaxDescriptionUnits - 2, L'a') + L"…");
    const std::wstring exact(db::kMaxDescriptionUnits, L'b');
    EXPECT_EQ(Description({exact}), exact);
}

TEST(ErrorTextRegression, NullsAndUnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Description({std::wstring(L"Login failed\0 for sa", 20)}), L"Login failed\uFFFD for sa");
    EXPECT_EQ(Description({std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x"}), L"\uFFFDx");
    EXPECT_EQ(db::Error(std::wstring(L"own\0text", 8)).Description(), L"own\uFFFDtext");
}

}  // namespace
