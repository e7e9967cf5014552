// The SQL forms clients send: detach and attach calls in every spelling, SET batches,
// USE, the catalog queries, and the batches the server must refuse.
#include <gtest/gtest.h>

#include "tools/standin/src/sql_parser.h"

namespace dorvane::test {
namespace {

using namespace standin;

ExecStatement OnlyExec(const ParsedBatch& b) {
    EXPECT_FALSE(b.error) << b.error->text;
    EXPECT_EQ(b.statements.size(), 1u);
    return std::get<ExecStatement>(b.statements.at(0));
}

TEST(SqlParser, DetachCallsInTheFormsClientsSend) {
    {
        const auto e = OnlyExec(ParseSqlBatch("sp_detach_db 'db_ZVQ','true'"));
        EXPECT_EQ(e.procedure, "sp_detach_db");
        ASSERT_EQ(e.arguments.size(), 2u);
        EXPECT_EQ(e.arguments[0].value.text, "db_ZVQ");
        EXPECT_EQ(e.arguments[1].value.text, "true");
        EXPECT_TRUE(e.arguments[0].name.empty());
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("exec sp_detach_db 'x'"));
        ASSERT_EQ(e.arguments.size(), 1u);
        EXPECT_EQ(e.arguments[0].value.text, "x");
    }
    {
        const auto e = OnlyExec(
            ParseSqlBatch("EXEC sp_detach_db @dbname = N'x', @skipchecks = 'true', @keepfulltextindexfile = N'false'"));
        ASSERT_EQ(e.arguments.size(), 3u);
        EXPECT_EQ(e.arguments[0].name, "@dbname");
        EXPECT_EQ(e.arguments[0].value.text, "x");
        EXPECT_EQ(e.arguments[2].name, "@keepfulltextindexfile");
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("EXECUTE master.dbo.sp_detach_db N'it''s', 'true';"));
        EXPECT_EQ(e.procedure, "sp_detach_db");
        EXPECT_EQ(e.arguments[0].value.text, "it's");
    }
    {
        const auto e =
            OnlyExec(ParseSqlBatch("  /* a /* nested */ comment */ exec [master]..[sp_detach_db] -- trailing\n 'a'"));
        EXPECT_EQ(e.procedure, "sp_detach_db");
        EXPECT_EQ(e.arguments[0].value.text, "a");
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("sp_detach_db ''"));
        EXPECT_EQ(e.arguments[0].value.text, "");
        EXPECT_EQ(e.arguments[0].value.kind, SqlValue::Kind::kString);
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("exec sp_detach_db bare_name, NULL"));
        EXPECT_EQ(e.arguments[0].value.text, "bare_name");
        EXPECT_EQ(e.arguments[1].value.kind, SqlValue::Kind::kNull);
    }
}

TEST(SqlParser, AttachForms) {
    {
        const auto e =
            OnlyExec(ParseSqlBatch("EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'Z:\\d\\db_ZVQ_Data.MDF', "
                                   "@filename2 = N'/d/db_ZVQ_Log.LDF'"));
        EXPECT_EQ(e.procedure, "sp_attach_db");
        ASSERT_EQ(e.arguments.size(), 3u);
        EXPECT_EQ(e.arguments[1].value.text, "Z:\\d\\db_ZVQ_Data.MDF");
    }
    {
        auto b =
            ParseSqlBatch("CREATE DATABASE [db_ZVQ] ON (FILENAME = '/d/a.mdf'), (FILENAME = N'/d/a.ldf') FOR ATTACH");
        ASSERT_FALSE(b.error) << b.error->text;
        const auto& a = std::get<AttachStatement>(b.statements.at(0));
        EXPECT_EQ(a.database, "db_ZVQ");
        EXPECT_EQ(a.files, (std::vector<std::string>{"/d/a.mdf", "/d/a.ldf"}));
    }
    {
        auto b = ParseSqlBatch(
            "create database x on primary (name = x_dat, filename = '/a.mdf') log on (filename = '/a.ldf') for attach");
        ASSERT_FALSE(b.error) << b.error->text;
        EXPECT_EQ(std::get<AttachStatement>(b.statements.at(0)).files.size(), 2u);
    }
    {
        auto b = ParseSqlBatch("CREATE DATABASE x ON (FILENAME = '/a.mdf')");
        ASSERT_TRUE(b.error);
        EXPECT_EQ(b.error->number, 50000);
    }
}

TEST(SqlParser, SetBatchesOfDrivers) {
    auto b = ParseSqlBatch(
        "set textsize 2147483647 set quoted_identifier on set arithabort off set numeric_roundabort off "
        "set ansi_warnings on set ansi_padding on set ansi_nulls on set concat_null_yields_null on "
        "set cursor_close_on_commit off set implicit_transactions off set language us_english "
        "set dateformat mdy set datefirst 7 set transaction isolation level read committed");
    ASSERT_FALSE(b.error) << b.error->text;
    ASSERT_EQ(b.statements.size(), 14u);
    const auto& last = std::get<SetStatement>(b.statements.back());
    EXPECT_EQ(last.options.at(0), "TRANSACTION");
    EXPECT_EQ(last.value, "ISOLATION LEVEL READ COMMITTED");
    EXPECT_EQ(std::get<SetStatement>(b.statements[0]).value, "2147483647");

    auto multi = ParseSqlBatch("SET ANSI_NULLS, ANSI_WARNINGS ON; SET TEXTSIZE -1");
    ASSERT_FALSE(multi.error) << multi.error->text;
    EXPECT_EQ(std::get<SetStatement>(multi.statements[0]).options.size(), 2u);
    EXPECT_EQ(std::get<SetStatement>(multi.statements[1]).value, "-1");

    auto unknown = ParseSqlBatch("SET NO_SUCH_THING ON");
    ASSERT_TRUE(unknown.error);
    EXPECT_EQ(unknown.error->number, 195);
    EXPECT_EQ(unknown.error->text, "'NO_SUCH_THING' is not a recognized SET option.");

    auto bad_value = ParseSqlBatch("SET ANSI_NULLS MAYBE");
    ASSERT_TRUE(bad_value.error);
    EXPECT_EQ(bad_value.error->number, 102);
}

TEST(SqlParser, UseAndSelects) {
    auto use = ParseSqlBatch("USE [my db]");
    ASSERT_FALSE(use.error);
    EXPECT_EQ(std::get<UseStatement>(use.statements[0]).database, "my db");

    auto s = ParseSqlBatch("SELECT name FROM sys.databases WHERE name = N'x' ORDER BY name");
    ASSERT_FALSE(s.error) << s.error->text;
    const auto& sel = std::get<SelectStatement>(s.statements[0]);
    EXPECT_EQ(sel.source, SelectSource::kDatabases);
    EXPECT_EQ(*sel.where_column, "name");
    EXPECT_EQ(sel.where_value, "x");
    EXPECT_EQ(*sel.order_by, "name");

    auto f =
        ParseSqlBatch("select name, physical_name from master.sys.master_files where database_id = DB_ID(N'db_ZVQ')");
    ASSERT_FALSE(f.error) << f.error->text;
    const auto& files = std::get<SelectStatement>(f.statements[0]);
    EXPECT_EQ(files.source, SelectSource::kMasterFiles);
    EXPECT_TRUE(files.where_db_id_of);
    EXPECT_EQ(files.where_value, "db_ZVQ");
    EXPECT_EQ(files.items.size(), 2u);

    auto expr = ParseSqlBatch("SELECT DB_NAME(); SELECT @@VERSION SELECT 1");
    ASSERT_FALSE(expr.error) << expr.error->text;
    ASSERT_EQ(expr.statements.size(), 3u);
    EXPECT_EQ(std::get<SelectStatement>(expr.statements[0]).items[0].kind, SelectItem::Kind::kSystem);
    EXPECT_EQ(std::get<SelectStatement>(expr.statements[0]).items[0].text, "DB_NAME()");
    EXPECT_EQ(std::get<SelectStatement>(expr.statements[1]).items[0].kind, SelectItem::Kind::kSystem);
    EXPECT_EQ(std::get<SelectStatement>(expr.statements[1]).items[0].text, "@@VERSION");
    EXPECT_EQ(std::get<SelectStatement>(expr.statements[2]).items[0].kind, SelectItem::Kind::kInteger);

    auto other_table = ParseSqlBatch("SELECT name FROM sys.tables");
    ASSERT_TRUE(other_table.error);
    EXPECT_EQ(other_table.error->number, 208);
}

TEST(SqlParser, LiteralsWithoutNPassThroughTheCollationsCodePage) {
    const Collation& latin = *Collation::Find("SQL_Latin1_General_CP1_CI_AS");
    const Collation& prc = *Collation::Find("chinese_prc_ci_as");
    auto name_of = [](const ParsedBatch& b) {
        return std::get<ExecStatement>(b.statements.at(0)).arguments.at(0).value.text;
    };
    // Code page 1252 keeps Latin letters and the euro sign; CJK and characters beyond U+FFFF
    // become '?' (two for a surrogate pair). N'...' keeps everything.
    EXPECT_EQ(name_of(ParseSqlBatch("sp_detach_db '数据库甲','true'", latin)), "????");
    EXPECT_EQ(name_of(ParseSqlBatch("sp_detach_db 'Café€','true'", latin)), "Café€");
    EXPECT_EQ(name_of(ParseSqlBatch("sp_detach_db '𝒳db'", latin)), "??db");
    EXPECT_EQ(name_of(ParseSqlBatch("sp_detach_db N'数据库甲𝒳'", latin)), "数据库甲𝒳");
    // Code page 936 keeps CJK, loses what GBK lacks (Hangul, characters beyond U+FFFF).
    EXPECT_EQ(name_of(ParseSqlBatch("sp_detach_db '数据库甲','true'", prc)), "数据库甲");
    EXPECT_EQ(name_of(ParseSqlBatch("sp_detach_db '数据한𝒳','true'", prc)), "数据???");
    // Identifiers are Unicode whatever the code page; SELECT marks which literals had N.
    EXPECT_EQ(std::get<UseStatement>(ParseSqlBatch("USE [数据库甲]", latin).statements[0]).database, "数据库甲");
    const ParsedBatch select = ParseSqlBatch("SELECT 'é', N'é', SERVERPROPERTY('Collation')", latin);
    const auto& sel = std::get<SelectStatement>(select.statements.at(0));
    EXPECT_FALSE(sel.items[0].unicode);
    EXPECT_TRUE(sel.items[1].unicode);
    EXPECT_EQ(sel.items[2].text, "SERVERPROPERTY()");
    EXPECT_EQ(sel.items[2].argument, "Collation");
}

TEST(SqlParser, RefusedBatchesRunNothing) {
    struct Case {
        const char* sql;
        int number;
        const char* text;
    };
    const Case cases[] = {
        {"SELECT 1 INSERT INTO t VALUES (1)", 50000, "statement not supported by the stand-in server: INSERT"},
        {"sp_detach_db 'x", 105, "Unclosed quotation mark after the character string 'x'."},
        {"sp_detach_db /* open", 113, "Missing end comment mark '*/'."},
        {"SELECT 1 garbage(", 102, "Incorrect syntax near '('."},
        {"USE", 102, "Incorrect syntax near 'USE'."},
        {"SELECT 1 sp_detach_db 'x'", 102, "Incorrect syntax near 'x'."},
        {"exec sp_detach_db @name", 137, "Must declare the scalar variable \"@name\"."},
        {"DROP DATABASE x", 50000, "statement not supported by the stand-in server: DROP"},
        {"SELECT DB_NAME(5)", 50000, "statement not supported by the stand-in server: DB_NAME with an argument"},
        {"SELECT LEN('x')", 50000, "statement not supported by the stand-in server: function LEN"},
    };
    for (const Case& c : cases) {
        auto b = ParseSqlBatch(c.sql);
        ASSERT_TRUE(b.error) << c.sql;
        EXPECT_TRUE(b.statements.empty()) << c.sql;
        EXPECT_EQ(b.error->number, c.number) << c.sql;
        EXPECT_EQ(b.error->text, c.text) << c.sql;
    }
    EXPECT_TRUE(ParseSqlBatch("   -- only a comment\n").statements.empty());
    EXPECT_FALSE(ParseSqlBatch("   -- only a comment\n").error);
}

}  // namespace
}  // namespace dorvane::test
