// The naming rule and the texts sent to the server.
#include "app/detach_rules.h"
#include "base/text.h"

#include <gtest/gtest.h>

namespace dorvane::test {
namespace {

TEST(NamingRule, ExamplesOfTheWindow) {
    EXPECT_EQ(app::DeriveLogPath(L"D:\\DataSource\\db_ZVQ_Data.MDF"), L"D:\\DataSource\\db_ZVQ_Log.LDF");
    EXPECT_EQ(app::DeriveDatabaseName(L"db_ZVQ_Data.MDF"), L"db_ZVQ");
    // Other names are cut by the same counts, whatever the characters are.
    EXPECT_EQ(app::DeriveLogPath(L"C:\\Data\\inventory.mdf"), L"C:\\Data\\invenLog.LDF");
    EXPECT_EQ(app::DeriveDatabaseName(L"inventory.mdf"), L"inve");
    EXPECT_EQ(app::DeriveDatabaseName(L"sales.MDF"), L"");
}

TEST(NamingRule, NamesShorterThanTheCutGiveEmptyPieces) {
    EXPECT_EQ(app::DeriveDatabaseName(L"a.MDF"), L"");
    EXPECT_EQ(app::DeriveDatabaseName(L""), L"");
    EXPECT_EQ(app::DeriveLogPath(L"C:\\a.mdf"), L"Log.LDF");    // exactly 8
    EXPECT_EQ(app::DeriveLogPath(L"x.mdf"), L"Log.LDF");        // shorter
    EXPECT_EQ(app::DeriveLogPath(L"C:\\ab.mdf"), L"CLog.LDF");  // one more than the cut
}

TEST(NamingRule, CountsCharactersNotBytes) {
    EXPECT_EQ(app::DeriveDatabaseName(L"销售库_Data.MDF"), L"销售库");
    EXPECT_EQ(app::DeriveLogPath(L"D:\\数据\\销售库_Data.MDF"), L"D:\\数据\\销售库_Log.LDF");
}

TEST(DetachTexts, PlainNamesGiveTheLiteralStrings) {
    EXPECT_EQ(app::BuildConnectionString(L""),
              L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='';User ID=sa;Initial Catalog=master");
    EXPECT_EQ(app::BuildConnectionString(L"192.168.0.5"),
              L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='192.168.0.5';User ID=sa;Initial "
              L"Catalog=master");
    EXPECT_EQ(app::BuildDetachStatement(L"db_ZVQ"), L"sp_detach_db 'db_ZVQ','true'");
    EXPECT_EQ(app::BuildDetachStatement(L""), L"sp_detach_db '','true'");
}

TEST(DetachTexts, NamesOutsideAsciiGoAsUnicodeLiterals) {
    // Any character above U+007F makes the literal N'...', so no code page can change it.
    EXPECT_EQ(app::BuildDetachStatement(L"数据库甲"), L"sp_detach_db N'数据库甲','true'");
    EXPECT_EQ(app::BuildDetachStatement(L"\U0001D4B3db"), L"sp_detach_db N'\U0001D4B3db','true'");
    EXPECT_EQ(app::BuildDetachStatement(L"caf\u00E9"), L"sp_detach_db N'caf\u00E9','true'");
    EXPECT_EQ(app::BuildDetachStatement(L"O'数'"), L"sp_detach_db N'O''数''','true'");
    // The last ASCII character still gives the plain literal.
    EXPECT_EQ(app::BuildDetachStatement(L"db\u007F"), L"sp_detach_db 'db\u007F','true'");
}

TEST(DetachTexts, QuotesAreDoubledSoTheyCannotEndTheLiteral) {
    EXPECT_EQ(app::BuildDetachStatement(L"x','true';DROP DATABASE y;--"),
              L"sp_detach_db 'x'',''true'';DROP DATABASE y;--','true'");
    EXPECT_EQ(app::BuildConnectionString(L"srv';User ID=evil"),
              L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='srv'';User ID=evil';User ID=sa;Initial "
              L"Catalog=master");
    EXPECT_EQ(base::DoubleQuotes(L"''", L'\''), L"''''");
    EXPECT_EQ(base::DoubleQuotes(L"\"[]", L'\''), L"\"[]");
}

}  // namespace
}  // namespace dorvane::test
