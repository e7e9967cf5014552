#include "db/connection_settings.h"

#include "base/text.h"

#include <array>
#include <optional>

#include "db/error.h"

namespace db {

namespace {

constexpr wchar_t kSupportedProviders[] = L"SQLOLEDB, MSOLEDBSQL";

enum class Key { kProvider, kDataSource, kUserId, kPassword, kInitialCatalog, kPersist, kTimeout };

struct KeywordName {
    const wchar_t* name;
    Key key;
};

constexpr std::array<KeywordName, 14> kKeywords{{
    {L"Provider", Key::kProvider},
    {L"Data Source", Key::kDataSource},
    {L"Server", Key::kDataSource},
    {L"Address", Key::kDataSource},
    {L"Addr", Key::kDataSource},
    {L"Network Address", Key::kDataSource},
    {L"User ID", Key::kUserId},
    {L"UID", Key::kUserId},
    {L"Password", Key::kPassword},
    {L"PWD", Key::kPassword},
    {L"Initial Catalog", Key::kInitialCatalog},
    {L"Database", Key::kInitialCatalog},
    {L"Persist Security Info", Key::kPersist},
    {L"Connect Timeout", Key::kTimeout},
}};

bool ParseBoolean(std::wstring_view text) {
    const std::wstring_view value = base::Trim(text);
    for (const wchar_t* yes : {L"True", L"Yes"}) {
        if (KeywordEquals(value, yes)) return true;
    }
    for (const wchar_t* no : {L"False", L"No"}) {
        if (KeywordEquals(value, no)) return false;
    }
    throw Error(L"Invalid value '" + std::wstring(text) +
                L"' for the connection string keyword 'Persist Security Info': use True or False.");
}

long ParseTimeout(std::wstring_view keyword, std::wstring_view text) {
    const std::wstring_view value = base::Trim(text);
    long seconds = 0;
    bool valid = !value.empty() && value.size() <= 9;  // up to 999999999 s: no overflow
    for (wchar_t c : value) {
        if (c < L'0' || c > L'9') {
            valid = false;
            break;
        }
        seconds = seconds * 10 + (c - L'0');
    }
    if (!valid) {
        throw Error(L"Invalid value '" + std::wstring(text) + L"' for the connection string keyword '" +
                    std::wstring(keyword) + L"': give the login timeout in whole seconds (0 for no limit).");
    }
    return seconds;
}

}  // namespace

bool IsSqlServerProvider(std::wstring_view provider) {
    const std::wstring_view name = base::Trim(provider);
    for (const wchar_t* known : {L"SQLOLEDB", L"SQLOLEDB.1", L"MSOLEDBSQL", L"MSOLEDBSQL.1", L"MSOLEDBSQL19"}) {
        if (KeywordEquals(name, known)) return true;
    }
    return false;
}

ConnectionSettings ResolveSettings(const ConnectionString& connectionString, std::wstring_view userId,
                                   std::wstring_view password) {
    // The provider first: the other keywords are the provider's, so a foreign provider is
    // reported as such rather than through one of its keywords.
    const std::optional<std::wstring> provider = connectionString.Find(L"Provider");
    if (!provider || base::Trim(*provider).empty()) {
        throw Error(std::wstring(L"The connection string names no Provider. ADO's default provider "
                                 L"MSDASQL (OLE DB over ODBC data sources) is not supported: Dorvane "
                                 L"connects to SQL Server only (") +
                    kSupportedProviders + L"); add Provider=SQLOLEDB.");
    }
    if (!IsSqlServerProvider(*provider)) {
        throw Error(L"Provider '" + std::wstring(base::Trim(*provider)) +
                    L"' is not supported: Dorvane connects to SQL Server only (" + kSupportedProviders + L").");
    }

    ConnectionSettings settings;
    settings.provider = *provider;
    for (const ConnectionStringPair& pair : connectionString.Pairs()) {
        const KeywordName* known = nullptr;
        for (const KeywordName& candidate : kKeywords) {
            if (KeywordEquals(pair.keyword, candidate.name)) known = &candidate;
        }
        if (known == nullptr) {
            throw Error(L"The connection string keyword '" + pair.keyword +
                        L"' is not supported. Supported keywords: Provider, Data Source (Server), "
                        L"User ID (UID), Password (PWD), Initial Catalog (Database), "
                        L"Persist Security Info, Connect Timeout.");
        }
        switch (known->key) {
            case Key::kProvider:
                break;  // checked above
            case Key::kDataSource:
                settings.dataSource = pair.value;
                break;
            case Key::kUserId:
                settings.userId = pair.value;
                break;
            case Key::kPassword:
                settings.password = pair.value;
                break;
            case Key::kInitialCatalog:
                settings.initialCatalog = pair.value;
                break;
            case Key::kPersist:
                ParseBoolean(pair.value);
                break;  // checked, no effect here
            case Key::kTimeout:
                settings.loginTimeoutSeconds = ParseTimeout(pair.keyword, pair.value);
                break;
        }
    }

    // ADO: arguments of Open replace the string's values only when they are not empty.
    if (!userId.empty()) settings.userId = std::wstring(userId);
    if (!password.empty()) settings.password = std::wstring(password);
    return settings;
}

}  // namespace db
