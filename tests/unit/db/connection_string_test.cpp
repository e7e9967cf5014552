// Parsing OLE DB connection strings: the string the detach workflow builds, quoting,
// blanks, keyword case, repeats and malformed input.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "db/connection_string.h"
#include "db/error.h"

namespace dorvane::test {
namespace {

using db::ConnectionString;

std::wstring DorvaneString(const std::wstring& server) {
    return L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='" + server +
           L"';User ID=sa;Initial Catalog=master";
}

// The description of the error Parse throws, or a note that it threw none.
std::wstring ParseError(const std::wstring& text) {
    try {
        ConnectionString::Parse(text);
    } catch (const db::Error& error) {
        return error.Description();
    }
    return L"(no error)";
}

TEST(DbConnectionString, DorvaneStringGivesItsFivePairsInOrder) {
    const ConnectionString parsed = ConnectionString::Parse(DorvaneString(L"DBHOST\\SQL2019"));
    const auto& pairs = parsed.Pairs();
    ASSERT_EQ(pairs.size(), 5u);
    EXPECT_EQ(pairs[0].Keyword, L"Provider");
    EXPECT_EQ(pairs[0].Value, L"SQLOLEDB.1");
    EXPECT_EQ(pairs[1].Keyword, L"Persist Security Info");
    EXPECT_EQ(pairs[1].Value, L"False");
    EXPECT_EQ(pairs[2].Keyword, L"Data Source");
    EXPECT_EQ(pairs[2].Value, L"DBHOST\\SQL2019");
    EXPECT_EQ(pairs[3].Keyword, L"User ID");
    EXPECT_EQ(pairs[3].Value, L"sa");
    EXPECT_EQ(pairs[4].Keyword, L"Initial Catalog");
    EXPECT_EQ(pairs[4].Value, L"master");
    EXPECT_FALSE(parsed.Find(L"Password").has_value());
}

TEST(DbConnectionString, EmptyQuotedDataSourceIsAnEmptyValue) {
    const ConnectionString parsed = ConnectionString::Parse(DorvaneString(L""));
    ASSERT_TRUE(parsed.Find(L"Data Source").has_value());
    EXPECT_EQ(*parsed.Find(L"Data Source"), L"");
    EXPECT_EQ(*ConnectionString::Parse(L"Data Source=\"\"").Find(L"data source"), L"");
    EXPECT_EQ(*ConnectionString::Parse(L"Data Source=").Find(L"Data Source"), L"");
    EXPECT_EQ(*ConnectionString::Parse(L"Data Source=   ;x=1").Find(L"Data Source"), L"");
}

TEST(DbConnectionString, QuotesOfBothKindsAndDoubledQuotes) {
    EXPECT_EQ(*ConnectionString::Parse(L"a='x''y'").Find(L"a"), L"x'y");
    EXPECT_EQ(*ConnectionString::Parse(L"a=\"x\"\"y\"").Find(L"a"), L"x\"y");
    EXPECT_EQ(*ConnectionString::Parse(L"a='say \"hi\"'").Find(L"a"), L"say \"hi\"");
    EXPECT_EQ(*ConnectionString::Parse(L"a=\"it's\"").Find(L"a"), L"it's");
    EXPECT_EQ(*ConnectionString::Parse(L"a=''''").Find(L"a"), L"'");
    EXPECT_EQ(*ConnectionString::Parse(L"a=''''''").Find(L"a"), L"''");
    // A quote inside an unquoted value is an ordinary character.
    EXPECT_EQ(*ConnectionString::Parse(L"a=O'Brien;b=1").Find(L"a"), L"O'Brien");
}

TEST(DbConnectionString, SemicolonsAndEqualSignsInsideValues) {
    const ConnectionString parsed = ConnectionString::Parse(L"Password='a;b=c';User ID=\"x;y\"");
    EXPECT_EQ(*parsed.Find(L"Password"), L"a;b=c");
    EXPECT_EQ(*parsed.Find(L"User ID"), L"x;y");
    // Unquoted, the value runs to the next ';' and may hold '='.
    EXPECT_EQ(*ConnectionString::Parse(L"PWD=a=b;UID=u").Find(L"PWD"), L"a=b");
}

TEST(DbConnectionString, BlanksAreTrimmedExceptInsideQuotes) {
    const ConnectionString parsed =
        ConnectionString::Parse(L"  Provider =  SQLOLEDB  ;\tData Source = ' spaced ' ; UID= a b ");
    EXPECT_EQ(parsed.Pairs()[0].Keyword, L"Provider");
    EXPECT_EQ(*parsed.Find(L"Provider"), L"SQLOLEDB");
    EXPECT_EQ(*parsed.Find(L"Data Source"), L" spaced ");
    EXPECT_EQ(*parsed.Find(L"UID"), L"a b");  // inner blanks stay
}

TEST(DbConnectionString, KeywordsAreCaseInsensitiveAndKeptAsWritten) {
    const ConnectionString parsed = ConnectionString::Parse(L"pRoViDeR=SQLOLEDB;DATA SOURCE=h");
    EXPECT_EQ(*parsed.Find(L"Provider"), L"SQLOLEDB");
    EXPECT_EQ(*parsed.Find(L"data source"), L"h");
    EXPECT_EQ(parsed.Pairs()[0].Keyword, L"pRoViDeR");
    EXPECT_FALSE(parsed.Find(L"DataSource").has_value());  // blanks inside a keyword count
}

TEST(DbConnectionString, LastOfRepeatedKeywordsWins) {
    const ConnectionString parsed =
        ConnectionString::Parse(L"Data Source=first;x=1;DATA SOURCE='second';Data Source=third");
    EXPECT_EQ(*parsed.Find(L"Data Source"), L"third");
    EXPECT_EQ(parsed.Pairs().size(), 4u);  // every pair is kept, in order
}

TEST(DbConnectionString, EmptyPairsAreIgnored) {
    EXPECT_TRUE(ConnectionString::Parse(L"").Pairs().empty());
    EXPECT_TRUE(ConnectionString::Parse(L" ; ;; ").Pairs().empty());
    const ConnectionString parsed = ConnectionString::Parse(L";;a=1;;  ;b='2';");
    ASSERT_EQ(parsed.Pairs().size(), 2u);
    EXPECT_EQ(*parsed.Find(L"b"), L"2");
}

TEST(DbConnectionString, MalformedStringsNameThePositionAndProblem) {
    EXPECT_EQ(ParseError(L"a=1;b='open"),
              L"The OLE DB connection string is malformed at position 7: the value quoted with ' "
              L"has no closing '.");
    EXPECT_EQ(ParseError(L"a=\"x\"\""),  // the last two quotes are one doubled quote
              L"The OLE DB connection string is malformed at position 3: the value quoted with \" "
              L"has no closing \".");
    EXPECT_EQ(ParseError(L"a='x'y;b=1"),
              L"The OLE DB connection string is malformed at position 6: unexpected text after the "
              L"closing ' (a quoted value must be followed by ';' or the end).");
    EXPECT_EQ(ParseError(L"a=1;Provider;b=2"),
              L"The OLE DB connection string is malformed at position 5: 'Provider' is not of the "
              L"form keyword=value (no '=').");
    EXPECT_EQ(ParseError(L"a=1; =2"),
              L"The OLE DB connection string is malformed at position 6: there is no keyword "
              L"before '='.");
    EXPECT_EQ(ParseError(DorvaneString(L"it's")).substr(0, 51), L"The OLE DB connection string is malformed at positi");
    // Blanks after a closing quote are fine.
    EXPECT_EQ(ParseError(L"a='x'  ;b=1"), L"(no error)");
}

TEST(DbConnectionString, ErrorsCarryUtf8What) {
    try {
        ConnectionString::Parse(L"名前='開");
        FAIL();
    } catch (const db::Error& error) {
        EXPECT_NE(std::string(error.what()).find("position 4"), std::string::npos);
        EXPECT_EQ(base::ToUtf8(L"分离成功！"), "\xE5\x88\x86\xE7\xA6\xBB\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81");
    }
}

TEST(DbOdbcString, BracesOnlyWhereNeededAndClosingBracesDoubled) {
    EXPECT_EQ(db::QuoteOdbcValue(L"master"), L"master");
    EXPECT_EQ(db::QuoteOdbcValue(L""), L"");
    EXPECT_EQ(db::QuoteOdbcValue(L"a b"), L"a b");
    EXPECT_EQ(db::QuoteOdbcValue(L"a;b"), L"{a;b}");
    EXPECT_EQ(db::QuoteOdbcValue(L"a=b"), L"{a=b}");
    EXPECT_EQ(db::QuoteOdbcValue(L"{x"), L"{{x}");
    EXPECT_EQ(db::QuoteOdbcValue(L"x}y"), L"{x}}y}");
    EXPECT_EQ(db::QuoteOdbcValue(L" lead"), L"{ lead}");
    EXPECT_EQ(db::QuoteOdbcValue(L"trail "), L"{trail }");
    EXPECT_EQ(db::BuildOdbcConnectionString({{L"UID", L"sa"}, {L"PWD", L""}, {L"X", L"}"}}), L"UID=sa;PWD=;X={}}}");
}

TEST(DbOdbcString, ParseReadsBracedAndBareValues) {
    const auto parts = db::ParseOdbcConnectionString(L"DRIVER={My; Driver};PWD={a}}b};UID= sa ;");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].second, L"My; Driver");
    EXPECT_EQ(parts[1].second, L"a}b");
    EXPECT_EQ(parts[2].second, L"sa");
    EXPECT_THROW(db::ParseOdbcConnectionString(L"PWD={abc"), db::Error);
    EXPECT_THROW(db::ParseOdbcConnectionString(L"PWD={a}b}"), db::Error);
    EXPECT_THROW(db::ParseOdbcConnectionString(L"PWD"), db::Error);
}

}  // namespace
}  // namespace dorvane::test
