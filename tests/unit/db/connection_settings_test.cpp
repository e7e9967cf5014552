// The SQL Server provider rules: which providers and keywords are accepted, what the
// settings become, and how the arguments of Open combine with the string (ADO's rule).
#include <gtest/gtest.h>

#include <string>

#include "db/connection_settings.h"
#include "db/error.h"

namespace dorvane::test {
namespace {

using db::ConnectionSettings;
using db::ConnectionString;

ConnectionSettings Resolve(const std::wstring& text, const std::wstring& user = L"",
                           const std::wstring& password = L"") {
    return db::ResolveSettings(ConnectionString::Parse(text), user, password);
}

std::wstring ResolveError(const std::wstring& text) {
    try {
        Resolve(text);
    } catch (const db::Error& error) {
        return error.Description();
    }
    return L"(no error)";
}

TEST(DbSettings, DorvaneStringLogsInAsSaWithEmptyPassword) {
    const ConnectionSettings settings = Resolve(
        L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='';User ID=sa;Initial "
        L"Catalog=master");
    EXPECT_EQ(settings.Provider, L"SQLOLEDB.1");
    EXPECT_EQ(settings.DataSource, L"");
    EXPECT_EQ(settings.UserId, L"sa");
    EXPECT_EQ(settings.Password, L"");
    EXPECT_EQ(settings.InitialCatalog, L"master");
    EXPECT_EQ(settings.LoginTimeoutSeconds, 15);
}

TEST(DbSettings, SqlServerProvidersAreAcceptedInAnyCase) {
    for (const wchar_t* provider :
         {L"SQLOLEDB", L"SQLOLEDB.1", L"sqloledb.1", L"MSOLEDBSQL", L"msoledbsql.1", L"MSOLEDBSQL19", L" SQLOLEDB "}) {
        EXPECT_EQ(ResolveError(std::wstring(L"Provider=") + provider + L";Data Source=h"), L"(no error)") << provider;
    }
}

TEST(DbSettings, OtherProvidersAreRefusedByName) {
    EXPECT_EQ(ResolveError(L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\x.mdb"),
              L"Provider 'Microsoft.Jet.OLEDB.4.0' is not supported: Dorvane connects to SQL Server "
              L"only (SQLOLEDB, MSOLEDBSQL).");
    EXPECT_EQ(ResolveError(L"Provider=MSDASQL;DSN=x").substr(0, 22), L"Provider 'MSDASQL' is ");
    EXPECT_EQ(ResolveError(L"Provider=SQLOLEDB.2").substr(0, 25), L"Provider 'SQLOLEDB.2' is ");
    EXPECT_EQ(ResolveError(L"Provider=SQLNCLI11").substr(0, 24), L"Provider 'SQLNCLI11' is ");
}

TEST(DbSettings, MissingProviderSaysAdoDefaultIsNotSupported) {
    for (const wchar_t* text : {L"Data Source=h;User ID=sa", L"Provider=;Data Source=h", L""}) {
        const std::wstring description = ResolveError(text);
        EXPECT_NE(description.find(L"names no Provider"), std::wstring::npos) << text;
        EXPECT_NE(description.find(L"MSDASQL"), std::wstring::npos) << text;
        EXPECT_NE(description.find(L"not supported"), std::wstring::npos) << text;
    }
}

TEST(DbSettings, SynonymsCountAsOneKeywordAndTheLastWins) {
    const ConnectionSettings settings = Resolve(
        L"Provider=SQLOLEDB;Server=a;Address=b;uid=u1;User ID=u2;pwd=p1;PASSWORD=p2;"
        L"Database=d1;Initial Catalog=d2;Network Address=c");
    EXPECT_EQ(settings.DataSource, L"c");
    EXPECT_EQ(settings.UserId, L"u2");
    EXPECT_EQ(settings.Password, L"p2");
    EXPECT_EQ(settings.InitialCatalog, L"d2");
    EXPECT_EQ(Resolve(L"Provider=SQLOLEDB;Addr=x;Data Source=y").DataSource, L"y");
    EXPECT_EQ(Resolve(L"Provider=SQLOLEDB;Data Source=y;Addr=x").DataSource, L"x");
    // Providers repeat too; only the last counts.
    EXPECT_EQ(ResolveError(L"Provider=Jet;Provider=SQLOLEDB"), L"(no error)");
    EXPECT_NE(ResolveError(L"Provider=SQLOLEDB;Provider=Jet"), L"(no error)");
}

TEST(DbSettings, UnknownKeywordsAreErrorsThatNameThem) {
    const std::wstring description = ResolveError(L"Provider=SQLOLEDB;Trusted_Connection=yes");
    EXPECT_EQ(description.substr(0, 68), L"The connection string keyword 'Trusted_Connection' is not supported.");
    EXPECT_NE(ResolveError(L"Provider=SQLOLEDB;Integrated Security=SSPI").find(L"'Integrated Security'"),
              std::wstring::npos);
    // Keywords are compared whole: no prefixes or missing blanks.
    EXPECT_NE(ResolveError(L"Provider=SQLOLEDB;DataSource=x"), L"(no error)");
}

TEST(DbSettings, PersistSecurityInfoAndConnectTimeoutValues) {
    EXPECT_EQ(ResolveError(L"Provider=SQLOLEDB;Persist Security Info=true"), L"(no error)");
    EXPECT_EQ(ResolveError(L"Provider=SQLOLEDB;Persist Security Info=No"), L"(no error)");
    EXPECT_NE(ResolveError(L"Provider=SQLOLEDB;Persist Security Info=maybe").find(L"'maybe'"), std::wstring::npos);
    EXPECT_EQ(Resolve(L"Provider=SQLOLEDB;Connect Timeout=3").LoginTimeoutSeconds, 3);
    EXPECT_EQ(Resolve(L"Provider=SQLOLEDB;connect timeout = 0").LoginTimeoutSeconds, 0);
    for (const wchar_t* bad : {L"-1", L"", L"1.5", L"ten", L"9999999999"}) {
        EXPECT_NE(ResolveError(std::wstring(L"Provider=SQLOLEDB;Connect Timeout=") + bad).find(L"'Connect Timeout'"),
                  std::wstring::npos)
            << bad;
    }
}

TEST(DbSettings, NonEmptyArgumentsOfOpenOverrideTheString) {
    const std::wstring text = L"Provider=SQLOLEDB;User ID=sa;Password=secret";
    ConnectionSettings settings = Resolve(text, L"", L"");
    EXPECT_EQ(settings.UserId, L"sa");
    EXPECT_EQ(settings.Password, L"secret");
    settings = Resolve(text, L"operator", L"");
    EXPECT_EQ(settings.UserId, L"operator");
    EXPECT_EQ(settings.Password, L"secret");
    settings = Resolve(text, L"", L"other");
    EXPECT_EQ(settings.UserId, L"sa");
    EXPECT_EQ(settings.Password, L"other");
    settings = Resolve(L"Provider=SQLOLEDB", L"u", L"p");
    EXPECT_EQ(settings.UserId, L"u");
    EXPECT_EQ(settings.Password, L"p");
}

}  // namespace
}  // namespace dorvane::test
