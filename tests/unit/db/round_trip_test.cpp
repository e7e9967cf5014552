// Generated names full of quoting hazards (' " ; = { } --, blanks, CJK, control
// characters) written into connection strings and read back must come out unchanged.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "db/connection_string.h"
#include "db/driver_choice.h"
#include "db/error.h"

namespace dorvane::test {
namespace {

std::vector<std::wstring> GeneratedNames() {
    const std::wstring hazards = L"'\";={}- \t\r\n";
    const std::wstring cjk = L"分离数据库成功名前開";
    std::mt19937 random(20261208);  // fixed seed: the same names on every run
    std::vector<std::wstring> names = {L"",  L"'", L"\"", L"''",          L"{",   L"}",     L"}}",   L"{}",   L" ",
                                       L";", L"=", L"--", L"' OR 1=1 --", L" a ", L"a;b=c", L"\x01", L"\x7f", L"分离"};
    for (int i = 0; i < 4000; ++i) {
        const size_t length = random() % 25;
        std::wstring name;
        for (size_t j = 0; j < length; ++j) {
            switch (random() % 5) {
                case 0:
                    name += hazards[random() % hazards.size()];
                    break;
                case 1:
                    name += cjk[random() % cjk.size()];
                    break;
                case 2:
                    name += static_cast<wchar_t>(random() % 32);
                    break;  // controls, NUL too
                case 3:
                    name += static_cast<wchar_t>(L'a' + random() % 26);
                    break;
                default:
                    name += (random() % 2) ? L'-' : static_cast<wchar_t>(0x7f);
                    break;
            }
        }
        names.push_back(std::move(name));
    }
    return names;
}

// The caller's quoting of the detach workflow's string: single quotes, ' doubled.
std::wstring SingleQuoted(const std::wstring& value) {
    std::wstring out = L"'";
    for (wchar_t c : value) {
        out += c;
        if (c == L'\'') out += c;
    }
    return out + L"'";
}

TEST(DbRoundTrip, OleDbValuesComeBackExactly) {
    for (const std::wstring& name : GeneratedNames()) {
        const std::wstring written = L"Provider=SQLOLEDB.1;Data Source=" + db::QuoteOleDbValue(name) +
                                     L";User ID=sa;Initial Catalog=" + SingleQuoted(name);
        const db::ConnectionString parsed = db::ConnectionString::Parse(written);
        ASSERT_EQ(parsed.Pairs().size(), 4u) << base::ToUtf8(written);
        ASSERT_EQ(*parsed.Find(L"Data Source"), name) << base::ToUtf8(written);
        ASSERT_EQ(*parsed.Find(L"Initial Catalog"), name) << base::ToUtf8(written);
        ASSERT_EQ(*parsed.Find(L"User ID"), L"sa");
    }
}

TEST(DbRoundTrip, OdbcValuesComeBackExactly) {
    for (const std::wstring& name : GeneratedNames()) {
        const std::wstring written =
            db::BuildOdbcConnectionString({{L"DATABASE", name}, {L"UID", L"sa"}, {L"PWD", name}});
        const auto parts = db::ParseOdbcConnectionString(written);
        ASSERT_EQ(parts.size(), 3u) << base::ToUtf8(written);
        ASSERT_EQ(parts[0].second, name) << base::ToUtf8(written);
        ASSERT_EQ(parts[2].second, name) << base::ToUtf8(written);
    }
}

TEST(DbRoundTrip, DriverStringsKeepEveryValue) {
    for (const std::wstring& name : GeneratedNames()) {
        db::ConnectionSettings settings;
        settings.DataSource = L"host,1500";
        settings.UserId = name;
        settings.Password = name;
        settings.InitialCatalog = name.empty() ? L"x" : name;
        const std::wstring written = db::BuildDriverConnectionString({L"FreeTDS", db::DriverKind::FreeTds}, settings);
        const auto parts = db::ParseOdbcConnectionString(written);
        // DRIVER, SERVER, PORT, UID, PWD, DATABASE, TDS_Version, ClientCharset
        ASSERT_EQ(parts.size(), 8u) << base::ToUtf8(written);
        ASSERT_EQ(parts[2].second, L"1500");
        ASSERT_EQ(parts[3].second, name);
        ASSERT_EQ(parts[4].second, name);
        ASSERT_EQ(parts[5].second, settings.InitialCatalog);
    }
}

}  // namespace
}  // namespace dorvane::test
