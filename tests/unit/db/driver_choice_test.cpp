// Choosing the SQL Server ODBC driver, the server text each driver needs, and the ODBC
// connection string given to it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "db/connection_string.h"
#include "db/driver_choice.h"

namespace dorvane::test {
namespace {

using db::DriverKind;
using db::InstalledDriver;

InstalledDriver Named(const std::wstring& name, std::vector<std::wstring> attributes = {}) {
    return InstalledDriver{name, std::move(attributes)};
}

TEST(DbDriverChoice, BestInstalledFamilyWins) {
    const std::vector<InstalledDriver> all = {Named(L"SQL Server"),
                                              Named(L"FreeTDS"),
                                              Named(L"SQL Server Native Client 11.0"),
                                              Named(L"ODBC Driver 17 for SQL Server"),
                                              Named(L"ODBC Driver 18 for SQL Server"),
                                              Named(L"Microsoft Access Driver (*.mdb, *.accdb)")};
    EXPECT_EQ(db::ChooseDriver(all)->Name, L"ODBC Driver 18 for SQL Server");
    std::vector<InstalledDriver> rest(all.begin(), all.begin() + 4);
    EXPECT_EQ(db::ChooseDriver(rest)->Kind, DriverKind::Odbc17);
    rest.pop_back();
    EXPECT_EQ(db::ChooseDriver(rest)->Kind, DriverKind::NativeClient11);
    rest.pop_back();
    EXPECT_EQ(db::ChooseDriver(rest)->Name, L"FreeTDS");
    rest.pop_back();
    EXPECT_EQ(db::ChooseDriver(rest)->Kind, DriverKind::SqlServer);
}

TEST(DbDriverChoice, OlderMicrosoftDriversComeInTheirOrder) {
    // Best first; each list without its first entry must choose the next.
    const std::vector<std::pair<std::wstring, DriverKind>> order = {
        {L"ODBC Driver 17 for SQL Server", DriverKind::Odbc17},
        {L"ODBC Driver 13.1 for SQL Server", DriverKind::Odbc131},
        {L"ODBC Driver 13 for SQL Server", DriverKind::Odbc13},
        {L"ODBC Driver 11 for SQL Server", DriverKind::Odbc11},
        {L"SQL Server Native Client 11.0", DriverKind::NativeClient11},
        {L"SQL Server Native Client 10.0", DriverKind::NativeClient10},
        {L"FreeTDS", DriverKind::FreeTds},
        {L"SQL Server", DriverKind::SqlServer}};
    std::vector<InstalledDriver> installed;
    for (auto it = order.rbegin(); it != order.rend(); ++it) installed.push_back(Named(it->first));  // worst first
    for (const auto& [name, kind] : order) {
        SCOPED_TRACE(testing::PrintToString(name));
        const auto chosen = db::ChooseDriver(installed);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->Kind, kind);
        EXPECT_EQ(chosen->Name, name);
        const std::wstring chosenName = name;  // a lambda cannot capture a structured binding in every compiler
        std::erase_if(installed, [&](const InstalledDriver& d) { return d.Name == chosenName; });
    }
    // Only the exact names: a "13.2" or "Native Client 9.0" is not a driver we know.
    EXPECT_FALSE(db::ClassifyDriver(Named(L"ODBC Driver 13.2 for SQL Server")).has_value());
    EXPECT_FALSE(db::ClassifyDriver(Named(L"SQL Server Native Client 9.0")).has_value());
    EXPECT_EQ(db::ClassifyDriver(Named(L"odbc driver 13.1 for sql server")), DriverKind::Odbc131);
}

TEST(DbDriverChoice, FreeTdsIsKnownByNameOrByItsLibrary) {
    EXPECT_EQ(db::ClassifyDriver(Named(L"freetds")), DriverKind::FreeTds);
    EXPECT_EQ(db::ClassifyDriver(Named(L"FreeTDS 1.3 ODBC")), DriverKind::FreeTds);
    // Registered as "SQL Server" (as some set-ups do), it is still FreeTDS.
    EXPECT_EQ(db::ClassifyDriver(
                  Named(L"SQL Server", {L"UsageCount=1", L"Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"})),
              DriverKind::FreeTds);
    EXPECT_EQ(db::ClassifyDriver(Named(L"SQL Server", {L"Setup=libtdsodbc.so"})), DriverKind::SqlServer);
    EXPECT_FALSE(db::ClassifyDriver(Named(L"PostgreSQL Unicode")).has_value());
    EXPECT_FALSE(db::ClassifyDriver(Named(L"ODBC Driver 13 for SQL Server x")).has_value());
}

TEST(DbDriverChoice, NoSqlServerDriverListsWhatIsInstalled) {
    const std::vector<InstalledDriver> others = {Named(L"PostgreSQL Unicode"), Named(L"SQLite3")};
    EXPECT_FALSE(db::ChooseDriver(others).has_value());
    const std::wstring text = db::NoDriverDescription(others);
    EXPECT_EQ(text.substr(0, 41), L"No SQL Server ODBC driver is installed (l");
    EXPECT_NE(text.find(L"Installed ODBC drivers: PostgreSQL Unicode, SQLite3."), std::wstring::npos);
    EXPECT_NE(db::NoDriverDescription({}).find(L"Installed ODBC drivers: none."), std::wstring::npos);
}

TEST(DbDriverChoice, DriverFolderOnlyFromAFullWindowsPath) {
    EXPECT_EQ(db::DriverFolder(L"C:\\Program Files\\FreeTDS\\bin\\tdsodbc.dll"), L"C:\\Program Files\\FreeTDS\\bin");
    EXPECT_EQ(db::DriverFolder(L"d:/odbc/drv.dll"), L"d:/odbc");
    EXPECT_EQ(db::DriverFolder(L"C:\\drv.dll"), L"C:\\");
    EXPECT_EQ(db::DriverFolder(L"\\\\server\\share\\odbc\\drv.dll"), L"\\\\server\\share\\odbc");
    EXPECT_EQ(db::DriverFolder(L"\\\\server\\share\\drv.dll"), L"\\\\server\\share");
    // As Wine lists its drivers, relative, on the current drive, without a share or a file name.
    for (const wchar_t* skipped :
         {L"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so", L"tdsodbc.dll", L"bin\\tdsodbc.dll", L"C:tdsodbc.dll",
          L"\\bin\\tdsodbc.dll", L"\\\\server\\drv.dll", L"C:\\odbc\\", L""}) {
        EXPECT_EQ(db::DriverFolder(skipped), L"") << testing::PrintToString(std::wstring(skipped));
    }
}

TEST(DbServerAddress, EmptyMeansTheLocalMachineInEachDriversWords) {
    EXPECT_EQ(db::ServerAddressFor(DriverKind::Odbc18, L"").Server, L"(local)");
    EXPECT_EQ(db::ServerAddressFor(DriverKind::SqlServer, L"").Server, L"(local)");
    EXPECT_EQ(db::ServerAddressFor(DriverKind::FreeTds, L"").Server, L"localhost");
    EXPECT_EQ(db::ServerAddressFor(DriverKind::FreeTds, L"").Port, L"1433");
    EXPECT_EQ(db::ServerAddressFor(DriverKind::FreeTds, L"(LOCAL)").Server, L"localhost");
    EXPECT_EQ(db::ServerAddressFor(DriverKind::FreeTds, L"dbhost").Port, L"1433");
    EXPECT_EQ(db::ServerAddressFor(DriverKind::FreeTds, L".\\SQLEXPRESS").Server, L"localhost\\SQLEXPRESS");
}

TEST(DbServerAddress, MicrosoftDriversGetTheTextUnchanged) {
    for (const wchar_t* text : {L"host,1433", L"tcp:host", L".", L"h\\i", L" spaced "}) {
        const db::ServerAddress address = db::ServerAddressFor(DriverKind::Odbc17, text);
        EXPECT_EQ(address.Server, text);
        EXPECT_EQ(address.Port, L"");
    }
}

TEST(DbServerAddress, FreeTdsGetsHostAndPortApart) {
    db::ServerAddress address = db::ServerAddressFor(DriverKind::FreeTds, L"127.0.0.1,50123");
    EXPECT_EQ(address.Server, L"127.0.0.1");
    EXPECT_EQ(address.Port, L"50123");
    address = db::ServerAddressFor(DriverKind::FreeTds, L"tcp:db.example,1444");
    EXPECT_EQ(address.Server, L"db.example");
    EXPECT_EQ(address.Port, L"1444");
    address = db::ServerAddressFor(DriverKind::FreeTds, L"(local),1500");
    EXPECT_EQ(address.Server, L"localhost");
    EXPECT_EQ(address.Port, L"1500");
    address = db::ServerAddressFor(DriverKind::FreeTds, L"host\\INST,1500");
    EXPECT_EQ(address.Server, L"host");
    EXPECT_EQ(address.Port, L"1500");
    address = db::ServerAddressFor(DriverKind::FreeTds, L"host\\INST");
    EXPECT_EQ(address.Server, L"host\\INST");
    EXPECT_EQ(address.Port, L"");
    address = db::ServerAddressFor(DriverKind::FreeTds, L"odd,name");  // not a port
    EXPECT_EQ(address.Server, L"odd,name");
    EXPECT_EQ(address.Port, L"1433");
}

db::ConnectionSettings Settings(std::wstring server, std::wstring user, std::wstring password, std::wstring catalog) {
    db::ConnectionSettings settings;
    settings.Provider = L"SQLOLEDB.1";
    settings.DataSource = std::move(server);
    settings.UserId = std::move(user);
    settings.Password = std::move(password);
    settings.InitialCatalog = std::move(catalog);
    return settings;
}

TEST(DbDriverString, FreeTdsStringForTheStandIn) {
    const std::wstring text = db::BuildDriverConnectionString({L"FreeTDS", DriverKind::FreeTds},
                                                              Settings(L"127.0.0.1,40000", L"sa", L"", L"master"));
    EXPECT_EQ(text,
              L"DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=40000;UID=sa;PWD=;DATABASE=master;"
              L"TDS_Version=7.4;ClientCharset=UTF-8");
}

TEST(DbDriverString, MicrosoftDriversAndEncryption) {
    const db::ConnectionSettings settings = Settings(L"", L"sa", L"", L"master");
    EXPECT_EQ(db::BuildDriverConnectionString({L"ODBC Driver 18 for SQL Server", DriverKind::Odbc18}, settings),
              L"DRIVER={ODBC Driver 18 for SQL Server};SERVER=(local);UID=sa;PWD=;DATABASE=master;"
              L"Encrypt=no;TrustServerCertificate=yes");
    EXPECT_EQ(db::BuildDriverConnectionString({L"SQL Server", DriverKind::SqlServer}, Settings(L"h", L"sa", L"", L"")),
              L"DRIVER={SQL Server};SERVER=h;UID=sa;PWD=");
    // The drivers before 18 do not encrypt by default and get no encryption keywords
    // (Native Client 10.0 and Driver 11 know only yes/no values).
    for (const auto& [name, kind] : {std::pair{L"ODBC Driver 13.1 for SQL Server", DriverKind::Odbc131},
                                     std::pair{L"ODBC Driver 11 for SQL Server", DriverKind::Odbc11},
                                     std::pair{L"SQL Server Native Client 10.0", DriverKind::NativeClient10}}) {
        EXPECT_EQ(db::BuildDriverConnectionString({name, kind}, settings),
                  L"DRIVER={" + std::wstring(name) + L"};SERVER=(local);UID=sa;PWD=;DATABASE=master");
    }
}

TEST(DbDriverString, AwkwardValuesSurviveTheDriversParsing) {
    const db::ConnectionSettings settings = Settings(L"h;x", L"user=1", L"p}w;{d ", L"数据库 '名'");
    const std::wstring text = db::BuildDriverConnectionString({L"My {Odd} Driver", DriverKind::Odbc17}, settings);
    const auto parts = db::ParseOdbcConnectionString(text);
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(parts[0].second, L"My {Odd} Driver");
    EXPECT_EQ(parts[1].second, L"h;x");
    EXPECT_EQ(parts[2].second, L"user=1");
    EXPECT_EQ(parts[3].second, L"p}w;{d ");
    EXPECT_EQ(parts[4].second, L"数据库 '名'");
}

}  // namespace
}  // namespace dorvane::test
