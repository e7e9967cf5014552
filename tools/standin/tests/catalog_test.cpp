// Catalog rules: what attaches from a data folder, what may be detached, and the
// errors with SQL Server's numbers and texts for everything refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "tools/standin/src/catalog.h"
#include "tools/standin/tests/standin_process.h"

namespace dorvane::test {
namespace {

using namespace standin;

std::vector<std::string> Names(const Catalog& c) {
    std::vector<std::string> out;
    for (const auto& d : c.Databases()) out.push_back(d.Name);
    return out;
}

TEST(Catalog, SystemDatabasesExistAndCannotBeDetached) {
    Catalog c;
    EXPECT_EQ(Names(c), (std::vector<std::string>{"master", "tempdb", "model", "msdb"}));
    for (const char* name : {"master", "MODEL", "msdb", "tempdb"}) {
        CatalogError e = c.Detach(name);
        ASSERT_TRUE(e) << name;
        EXPECT_EQ(e->Number, 3708);
        EXPECT_EQ(e->Severity, 16);
    }
    EXPECT_EQ(c.Detach("master")->Text, "Cannot detach the database 'master' because it is a system database.");
}

TEST(Catalog, NamesCompareByTheCollation) {
    TempDir dir;
    test::MakeSample(dir.Path(), "Café_数据");
    Catalog ci(*Collation::Find("Chinese_PRC_CI_AS"));
    Catalog cs(*Collation::Find("Latin1_General_CS_AS"));
    ASSERT_EQ(ci.AttachFolder(dir.Path()), std::nullopt);
    ASSERT_EQ(cs.AttachFolder(dir.Path()), std::nullopt);
    // Case beyond ASCII folds too; width and kana type never count; accents always do.
    const std::optional<std::string> canonical = ci.Enter("CAFÉ_数据");
    EXPECT_TRUE(canonical);
    EXPECT_EQ(canonical, "Café_数据");
    EXPECT_TRUE(ci.Enter("ｃａｆé_数据"));
    EXPECT_FALSE(ci.Enter("Cafe_数据"));
    EXPECT_FALSE(cs.Enter("CAFÉ_数据"));
    EXPECT_FALSE(cs.Enter("MASTER"));
    EXPECT_TRUE(cs.Enter("Café_数据"));
    EXPECT_TRUE(Collation::Find("Latin1_General_CS_AS")->Equal("カナ", "かな"));
    EXPECT_EQ(cs.Detach("café_数据")->Number, 15010);
}

TEST(Catalog, DataFolderNamingRules) {
    TempDir dir;
    test::MakeSample(dir.Path(), "db_ZVQ");
    test::WriteFileBytes(dir / "inventory.MDF", "x");
    test::WriteFileBytes(dir / "INVENTORY.ldf", "y");
    test::WriteFileBytes(dir / "lonely.mdf", "z");
    test::WriteFileBytes(dir / "notes.txt", "ignored");
    Catalog c;
    ASSERT_FALSE(c.AttachFolder(dir.Path()));
    auto names = Names(c);
    EXPECT_EQ(std::vector<std::string>(names.begin() + 4, names.end()),
              (std::vector<std::string>{"db_ZVQ", "inventory", "lonely"}));
    std::map<std::string, int> files;
    for (const auto& f : c.Files()) files[f.Database]++;
    EXPECT_EQ(files["db_ZVQ"], 2);
    EXPECT_EQ(files["inventory"], 2);
    EXPECT_EQ(files["lonely"], 1);  // attached with its data file only
    EXPECT_TRUE(c.AttachFolder(dir / "missing").has_value());
}

TEST(Catalog, DetachAttachCycleAndItsErrors) {
    TempDir dir;
    test::MakeSample(dir.Path(), "sales");
    Catalog c;
    ASSERT_FALSE(c.AttachFolder(dir.Path()));
    const std::string data = dir / "sales_Data.MDF";
    const std::string log = dir / "sales_Log.LDF";

    CatalogError again = c.Attach("SALES", {data, log});
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Number, 1801);
    EXPECT_EQ(again->Text, "Database 'SALES' already exists. Choose a different database name.");

    // Under another name the same files are still held by the attached one.
    CatalogError twice = c.Attach("copy", {data});
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->Number, 5120);

    ASSERT_FALSE(c.Detach("Sales"));  // names compare without case
    CatalogError gone = c.Detach("sales");
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->Number, 15010);
    EXPECT_EQ(gone->Text,
              "The database 'sales' does not exist. Supply a valid database name. To see available databases, use "
              "sys.databases.");
    EXPECT_EQ(c.Detach("")->Number, 15010);

    CatalogError missing = c.Attach("sales", {dir / "nope.mdf"});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Number, 5120);
    EXPECT_EQ(missing->Text, "Unable to open the physical file \"" + dir / "nope.mdf" +
                                 "\". Operating system error 2: \"2(The system cannot find the file specified.)\".");

    ASSERT_FALSE(c.Attach("sales", {data, log}));
    EXPECT_EQ(c.DatabaseId("sales"), 5);
    const std::string serialized = c.Serialize();
    EXPECT_NE(serialized.find("database\tsales\tuser\tattached\n"), std::string::npos) << serialized;
    EXPECT_NE(serialized.find("file\tsales\tlog\t" + log + "\n"), std::string::npos) << serialized;
}

TEST(Catalog, DatabaseInUseBySessionsCannotBeDetached) {
    TempDir dir;
    test::MakeSample(dir.Path(), "busy");
    Catalog c;
    ASSERT_FALSE(c.AttachFolder(dir.Path()));
    const std::optional<std::string> canonical = c.Enter("BUSY");
    ASSERT_TRUE(canonical);
    EXPECT_EQ(canonical, "busy");
    ASSERT_TRUE(c.Enter("busy"));
    CatalogError e = c.Detach("busy");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Number, 3703);
    EXPECT_EQ(e->Text, "Cannot detach the database 'busy' because it is currently in use.");
    c.Leave("busy");
    EXPECT_TRUE(c.Detach("busy"));
    c.Leave("busy");
    EXPECT_FALSE(c.Detach("busy"));
    EXPECT_FALSE(c.Enter("busy"));  // detached: nobody can start using it
}

TEST(Catalog, WindowsPathsOnWinesZDriveMapToUnixPaths) {
    EXPECT_EQ(MapClientPath("Z:\\tmp\\a b\\x_Data.MDF"), "/tmp/a b/x_Data.MDF");
    EXPECT_EQ(MapClientPath("z:/tmp/x.mdf"), "/tmp/x.mdf");
    EXPECT_EQ(MapClientPath("C:\\Data\\x.mdf"), "C:\\Data\\x.mdf");
    EXPECT_EQ(MapClientPath("/already/unix"), "/already/unix");

    TempDir dir;
    test::MakeSample(dir.Path(), "win");
    Catalog c;
    std::string windows = "Z:" + dir.Path() + "/win_Data.MDF";
    std::replace(windows.begin(), windows.end(), '/', '\\');
    ASSERT_FALSE(c.Attach("win", {windows}));
    EXPECT_EQ(c.Files().back().PhysicalName, windows);  // shown as the client gave it
}

}  // namespace
}  // namespace dorvane::test
