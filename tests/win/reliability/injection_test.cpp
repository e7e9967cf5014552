// Hostile server and database names through Dorvane's own builders and connection layer.
// Every name must reach the server as exactly itself: a database name detaches exactly
// the database of that name (or yields an error and changes nothing), a server name
// comes back out of the connection-string parser as exactly that Data Source.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>

#include "app/detach_rules.h"
#include "base/text.h"
#include "db/connection.h"
#include "db/connection_settings.h"
#include "db/connection_string.h"
#include "tests/win/reliability/injection_names.h"
#include "tests/win/reliability/reliability_support.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/standin_control.h"

namespace dorvane::test {
namespace {

constexpr std::size_t kNames = 10000;
constexpr std::uint32_t kSeed = 20261208;
// Names detached on one connection before the next one is opened, as presses of the
// button would each open their own.
constexpr std::size_t kNamesPerConnection = 100;

// The name as readable ASCII for failure messages: controls and non-ASCII as \uXXXX.
std::string Printable(const std::wstring& name) {
    std::string out;
    for (wchar_t c : name) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return "\"" + out + "\"";
}

// Reads back the literal of "sp_detach_db '<literal>','true'" (N'<literal>' for a name
// outside ASCII) the way T-SQL reads it: a doubled quote is one quote, a single quote
// ends it. nullopt when the statement has any other shape (a quote that ends the literal
// early leaves text behind it) or when the N prefix does not match the name.
std::optional<std::wstring> DetachLiteral(const std::wstring& statement) {
    const std::wstring suffix = L",'true'";
    const bool unicode = statement.rfind(L"sp_detach_db N'", 0) == 0;
    if (!unicode && statement.rfind(L"sp_detach_db '", 0) != 0) return std::nullopt;
    std::wstring value;
    std::size_t i = unicode ? 15 : 14;
    for (; i < statement.size(); ++i) {
        if (statement[i] != L'\'') {
            value += statement[i];
        } else if (i + 1 < statement.size() && statement[i + 1] == L'\'') {
            value += L'\'';
            ++i;
        } else {
            break;
        }
    }
    if (i >= statement.size() || statement.substr(i + 1) != suffix) return std::nullopt;
    const bool ascii = std::all_of(value.begin(), value.end(), [](wchar_t c) { return c < 0x80; });
    if (unicode == ascii) return std::nullopt;
    return value;
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

TEST(Injection, EveryNameSurvivesTheBuildersAndTheConnectionStringParser) {
    const std::vector<std::wstring> names = GenerateNames(kNames, kSeed);
    std::size_t withQuote = 0;
    for (const std::wstring& name : names) {
        if (name.find(L'\'') != std::wstring::npos) ++withQuote;
        const std::wstring statement = app::BuildDetachStatement(name);
        const auto literal = DetachLiteral(statement);
        ASSERT_TRUE(literal.has_value()) << Printable(name) << " breaks out of the statement's literal";
        ASSERT_EQ(*literal, name) << Printable(name);

        const std::wstring connection = app::BuildConnectionString(name);
        try {
            const db::ConnectionString parsed = db::ConnectionString::Parse(connection);
            ASSERT_EQ(parsed.Find(L"Data Source"), std::optional<std::wstring>(name)) << Printable(name);
            const db::ConnectionSettings settings = db::ResolveSettings(parsed, L"", L"");
            ASSERT_EQ(settings.DataSource, name) << Printable(name);
            ASSERT_EQ(settings.UserId, L"sa") << Printable(name);
            ASSERT_EQ(settings.Password, L"") << Printable(name);
            ASSERT_EQ(settings.InitialCatalog, L"master") << Printable(name);
            ASSERT_EQ(settings.Provider, L"SQLOLEDB.1") << Printable(name);
        } catch (const db::Error& e) {
            FAIL() << Printable(name) << ": " << e.what();
        }
    }
    // The generator really produces the hostile cases.
    EXPECT_GT(withQuote, kNames / 4);
}

class LiveInjection : public testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* base : {L"db_ZVQ", L"O'Brien", L"分离库", L"x"}) {
            folder_.AddDatabase(base);
            base_.insert(Lower(base));
        }
        for (const wchar_t* system : {L"master", L"model", L"msdb", L"tempdb"}) base_.insert(system);
        folder_.AddDatabase(L"inj");  // the files every generated name attaches
        server_.emplace(StandinServer::Start({L"--data", folder_.UnixPath()}));
        // The sample "inj" is attached at start; the generated names take its files in turn.
        CheckSession check(server_->Port());
        ASSERT_TRUE(check.Connected()) << base::ToUtf8(check.Error());
        ASSERT_EQ(check.Run(L"sp_detach_db 'inj','true'"), std::nullopt);
    }

    std::vector<std::wstring> Catalog(CheckSession& check) {
        std::vector<std::wstring> rows = check.Column(L"SELECT name FROM sys.databases");
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    SampleFolder folder_;
    std::set<std::wstring> base_;
    std::optional<StandinServer> server_;
};

TEST_F(LiveInjection, EachNameDetachesExactlyThatDatabase) {
    // All of them through the live stack: attach, detach through the builders, catalog
    // check (four statements per name, 0.3 to 2 ms per name under Wine here).
    const std::vector<std::wstring> names = GenerateNames(kNames, kSeed);
    CheckSession check(server_->Port());
    ASSERT_TRUE(check.Connected()) << base::ToUtf8(check.Error());
    const std::vector<std::wstring> before = Catalog(check);
    const std::wstring files = L" ON (FILENAME = " + NLiteral(folder_.UnixPath() + L"/inj_Data.MDF") +
                               L"), (FILENAME = " + NLiteral(folder_.UnixPath() + L"/inj_Log.LDF") + L") FOR ATTACH";
    const std::wstring server = L"127.0.0.1," + std::to_wstring(server_->Port());
    const auto started = std::chrono::steady_clock::now();
    std::size_t detached = 0, refused = 0;
    std::optional<db::Connection> connection;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::wstring& name = names[i];
        if (base_.count(Lower(name))) continue;  // would collide with a database kept throughout
        if (i % kNamesPerConnection == 0 || !connection) {
            connection.emplace();
            connection->Open(app::BuildConnectionString(server), L"", L"");
        }
        const auto attachError = check.Run(L"CREATE DATABASE " + BracketIdentifier(name) + files);
        if (attachError) {
            // The server refuses the name itself: the detach must then fail and change nothing.
            ++refused;
            EXPECT_THROW(connection->Execute(app::BuildDetachStatement(name)), db::Error) << Printable(name);
            connection.reset();
        } else {
            ASSERT_EQ(check.Column(L"SELECT name FROM sys.databases WHERE name = " + NLiteral(name)),
                      std::vector<std::wstring>{name})
                << Printable(name) << " was attached under another name";
            try {
                connection->Execute(app::BuildDetachStatement(name));
                ++detached;
            } catch (const db::Error& e) {
                ADD_FAILURE() << Printable(name) << " did not detach: " << e.what();
                check.Run(L"sp_detach_db " + NLiteral(name));
                connection.reset();
            }
        }
        ASSERT_EQ(Catalog(check), before) << "after " << Printable(name);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "live names: " << detached << " detached, " << refused << " refused by the server, " << seconds
              << " s (" << 1000.0 * seconds / static_cast<double>(names.size()) << " ms per name)" << std::endl;
    EXPECT_GT(detached, names.size() * 9 / 10);
    // The files are the sample's, untouched by all the attaching and detaching.
    SampleFolder fresh;
    fresh.AddDatabase(L"inj");
    EXPECT_EQ(folder_.Bytes(L"inj_Data.MDF"), fresh.Bytes(L"inj_Data.MDF"));
    EXPECT_EQ(folder_.Bytes(L"inj_Log.LDF"), fresh.Bytes(L"inj_Log.LDF"));
}

}  // namespace
}  // namespace dorvane::test
