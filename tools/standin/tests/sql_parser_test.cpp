// The SQL forms clients send: detach and attach calls in every spelling, SET batches,
// USE, the catalog queries, and the batches the server must refuse.
#include <gtest/gtest.h>

#include "tools/standin/src/sql_parser.h"

namespace dorvane::test {
namespace {

using namespace standin;

ExecStatement OnlyExec(const ParsedBatch& b) {
    EXPECT_FALSE(b.Error) << b.Error->Text;
    EXPECT_EQ(b.Statements.size(), 1u);
    return std::get<ExecStatement>(b.Statements.at(0));
}

TEST(SqlParser, DetachCallsInTheFormsClientsSend) {
    {
        const auto e = OnlyExec(ParseSqlBatch("sp_detach_db 'db_ZVQ','true'"));
        EXPECT_EQ(e.Procedure, "sp_detach_db");
        ASSERT_EQ(e.Arguments.size(), 2u);
        EXPECT_EQ(e.Arguments[0].Value.Text, "db_ZVQ");
        EXPECT_EQ(e.Arguments[1].Value.Text, "true");
        EXPECT_TRUE(e.Arguments[0].Name.empty());
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("exec sp_detach_db 'x'"));
        ASSERT_EQ(e.Arguments.size(), 1u);
        EXPECT_EQ(e.Arguments[0].Value.Text, "x");
    }
    {
        const auto e = OnlyExec(
            ParseSqlBatch("EXEC sp_detach_db @dbname = N'x', @skipchecks = 'true', @keepfulltextindexfile = N'false'"));
        ASSERT_EQ(e.Arguments.size(), 3u);
        EXPECT_EQ(e.Arguments[0].Name, "@dbname");
        EXPECT_EQ(e.Arguments[0].Value.Text, "x");
        EXPECT_EQ(e.Arguments[2].Name, "@keepfulltextindexfile");
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("EXECUTE master.dbo.sp_detach_db N'it''s', 'true';"));
        EXPECT_EQ(e.Procedure, "sp_detach_db");
        EXPECT_EQ(e.Arguments[0].Value.Text, "it's");
    }
    {
        const auto e =
            OnlyExec(ParseSqlBatch("  /* a /* nested */ comment */ exec [master]..[sp_detach_db] -- trailing\n 'a'"));
        EXPECT_EQ(e.Procedure, "sp_detach_db");
        EXPECT_EQ(e.Arguments[0].Value.Text, "a");
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("sp_detach_db ''"));
        EXPECT_EQ(e.Arguments[0].Value.Text, "");
        EXPECT_EQ(e.Arguments[0].Value.Kind, ValueKind::String);
    }
    {
        const auto e = OnlyExec(ParseSqlBatch("exec sp_detach_db bare_name, NULL"));
        EXPECT_EQ(e.Arguments[0].Value.Text, "bare_name");
        EXPECT_EQ(e.Arguments[1].Value.Kind, ValueKind::Null);
    }
}

TEST(SqlParser, AttachForms) {
    {
        const auto e =
            OnlyExec(ParseSqlBatch("EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'Z:\\d\\db_ZVQ_Data.MDF', "
                                   "@filename2 = N'/d/db_ZVQ_Log.LDF'"));
        EXPECT_EQ(e.Procedure, "sp_attach_db");
        ASSERT_EQ(e.Arguments.size(), 3u);
        EXPECT_EQ(e.Arguments[1].Value.Text, "Z:\\d\\db_ZVQ_Data.MDF");
    }
    {
        auto b =
            ParseSqlBatch("CREATE DATABASE [db_ZVQ] ON (FILENAME = '/d/a.mdf'), (FILENAME = N'/d/a.ldf') FOR ATTACH");
        ASSERT_FALSE(b.Error) << b.Error->Text;
        const auto& a = std::get<AttachStatement>(b.Statements.at(0));
        EXPECT_EQ(a.Database, "db_ZVQ");
        EXPECT_EQ(a.Files, (std::vector<std::string>{"/d/a.mdf", "/d/a.ldf"}));
    }
    {
        auto b = ParseSqlBatch(
            "create database x on primary (name = x_dat, filename = '/a.mdf') log on (filename = '/a.ldf') for attach");
        ASSERT_FALSE(b.Error) << b.Error->Text;
        EXPECT_EQ(std::get<AttachStatement>(b.Statements.at(0)).Files.size(), 2u);
    }
    {
        auto b = ParseSqlBatch("CREATE DATABASE x ON (FILENAME = '/a.mdf')");
        ASSERT_TRUE(b.Error);
        EXPECT_EQ(b.Error->Number, 50000);
    }
}

TEST(SqlParser, SetBatchesOfDrivers) {
    auto b = ParseSqlBatch(
        "set textsize 2147483647 set quoted_identifier on set arithabort off set numeric_roundabort off "
        "set ansi_warnings on set ansi_padding on set ansi_nulls on set concat_null_yields_null on "
        "set cursor_close_on_commit off set implicit_transactions off set language us_english "
        "set dateformat mdy set datefirst 7 set transaction isolation level read committed");
    ASSERT_FALSE(b.Error) << b.Error->Text;
    ASSERT_EQ(b.Statements.size(), 14u);
    const auto& last = std::get<SetStatement>(b.Statements.back());
    EXPECT_EQ(last.Options.at(0), "TRANSACTION");
    EXPECT_EQ(last.Value, "ISOLATION LEVEL READ COMMITTED");
    EXPECT_EQ(std::get<SetStatement>(b.Statements[0]).Value, "2147483647");

    auto multi = ParseSqlBatch("SET ANSI_NULLS, ANSI_WARNINGS ON; SET TEXTSIZE -1");
    ASSERT_FALSE(multi.Error) << multi.Error->Text;
    EXPECT_EQ(std::get<SetStatement>(multi.Statements[0]).Options.size(), 2u);
    EXPECT_EQ(std::get<SetStatement>(multi.Statements[1]).Value, "-1");

    auto unknown = ParseSqlBatch("SET NO_SUCH_THING ON");
    ASSERT_TRUE(unknown.Error);
    EXPECT_EQ(unknown.Error->Number, 195);
    EXPECT_EQ(unknown.Error->Text, "'NO_SUCH_THING' is not a recognized SET option.");

    auto badValue = ParseSqlBatch("SET ANSI_NULLS MAYBE");
    ASSERT_TRUE(badValue.Error);
    EXPECT_EQ(badValue.Error->Number, 102);
}

TEST(SqlParser, UseAndSelects) {
    auto use = ParseSqlBatch("USE [my db]");
    ASSERT_FALSE(use.Error);
    EXPECT_EQ(std::get<UseStatement>(use.Statements[0]).Database, "my db");

    auto s = ParseSqlBatch("SELECT name FROM sys.databases WHERE name = N'x' ORDER BY name");
    ASSERT_FALSE(s.Error) << s.Error->Text;
    const auto& sel = std::get<SelectStatement>(s.Statements[0]);
    EXPECT_EQ(sel.Source, SelectSource::Databases);
    EXPECT_EQ(*sel.WhereColumn, "name");
    EXPECT_EQ(sel.WhereValue, "x");
    EXPECT_EQ(*sel.OrderBy, "name");

    auto f =
        ParseSqlBatch("select name, physical_name from master.sys.master_files where database_id = DB_ID(N'db_ZVQ')");
    ASSERT_FALSE(f.Error) << f.Error->Text;
    const auto& files = std::get<SelectStatement>(f.Statements[0]);
    EXPECT_EQ(files.Source, SelectSource::MasterFiles);
    EXPECT_TRUE(files.WhereDbIdOf);
    EXPECT_EQ(files.WhereValue, "db_ZVQ");
    EXPECT_EQ(files.Items.size(), 2u);

    auto expr = ParseSqlBatch("SELECT DB_NAME(); SELECT @@VERSION SELECT 1");
    ASSERT_FALSE(expr.Error) << expr.Error->Text;
    ASSERT_EQ(expr.Statements.size(), 3u);
    EXPECT_EQ(std::get<SelectStatement>(expr.Statements[0]).Items[0].Kind, SelectItemKind::System);
    EXPECT_EQ(std::get<SelectStatement>(expr.Statements[0]).Items[0].Text, "DB_NAME()");
    EXPECT_EQ(std::get<SelectStatement>(expr.Statements[1]).Items[0].Kind, SelectItemKind::System);
    EXPECT_EQ(std::get<SelectStatement>(expr.Statements[1]).Items[0].Text, "@@VERSION");
    EXPECT_EQ(std::get<SelectStatement>(expr.Statements[2]).Items[0].Kind, SelectItemKind::Integer);

    auto otherTable = ParseSqlBatch("SELECT name FROM sys.tables");
    ASSERT_TRUE(otherTable.Error);
    EXPECT_EQ(otherTable.Error->Number, 208);
}

TEST(SqlParser, LiteralsWithoutNPassThroughTheCollationsCodePage) {
    const Collation& latin = *Collation::Find("SQL_Latin1_General_CP1_CI_AS");
    const Collation& prc = *Collation::Find("chinese_prc_ci_as");
    auto nameOf = [](const ParsedBatch& b) {
        return std::get<ExecStatement>(b.Statements.at(0)).Arguments.at(0).Value.Text;
    };
    // Code page 1252 keeps Latin letters and the euro sign; CJK and characters beyond U+FFFF
    // become '?' (two for a surrogate pair). N'...' keeps everything.
    EXPECT_EQ(nameOf(ParseSqlBatch("sp_detach_db '数据库甲','true'", latin)), "????");
    EXPECT_EQ(nameOf(ParseSqlBatch("sp_detach_db 'Café€','true'", latin)), "Café€");
    EXPECT_EQ(nameOf(ParseSqlBatch("sp_detach_db '𝒳db'", latin)), "??db");
    EXPECT_EQ(nameOf(ParseSqlBatch("sp_detach_db N'数据库甲𝒳'", latin)), "数据库甲𝒳");
    // Code page 936 keeps CJK, loses what GBK lacks (Hangul, characters beyond U+FFFF).
    EXPECT_EQ(nameOf(ParseSqlBatch("sp_detach_db '数据库甲','true'", prc)), "数据库甲");
    EXPECT_EQ(nameOf(ParseSqlBatch("sp_detach_db '数据한𝒳','true'", prc)), "数据???");
    // Identifiers are Unicode whatever the code page; SELECT marks which literals had N.
    EXPECT_EQ(std::get<UseStatement>(ParseSqlBatch("USE [数据库甲]", latin).Statements[0]).Database, "数据库甲");
    const ParsedBatch select = ParseSqlBatch("SELECT 'é', N'é', SERVERPROPERTY('Collation')", latin);
    const auto& sel = std::get<SelectStatement>(select.Statements.at(0));
    EXPECT_FALSE(sel.Items[0].Unicode);
    EXPECT_TRUE(sel.Items[1].Unicode);
    EXPECT_EQ(sel.Items[2].Text, "SERVERPROPERTY()");
    EXPECT_EQ(sel.Items[2].Argument, "Collation");
}

TEST(SqlParser, RefusedBatchesRunNothing) {
    struct Case {
        const char* Sql;
        int Number;
        const char* Text;
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
        auto b = ParseSqlBatch(c.Sql);
        ASSERT_TRUE(b.Error) << c.Sql;
        EXPECT_TRUE(b.Statements.empty()) << c.Sql;
        EXPECT_EQ(b.Error->Number, c.Number) << c.Sql;
        EXPECT_EQ(b.Error->Text, c.Text) << c.Sql;
    }
    EXPECT_TRUE(ParseSqlBatch("   -- only a comment\n").Statements.empty());
    EXPECT_FALSE(ParseSqlBatch("   -- only a comment\n").Error);
}

}  // namespace
}  // namespace dorvane::test
