#include "db/connection_settings.h"

#include "base/text.h"

#include <array>
#include <optional>

#include "db/error.h"

namespace db {

namespace {

constexpr wchar_t kSupportedProviders[] = L"SQLOLEDB, MSOLEDBSQL";

enum class KeyKind { Provider, DataSource, UserId, Password, InitialCatalog, Persist, Timeout };

struct KeywordName {
    const wchar_t* Name;
    KeyKind Key;
};

constexpr std::array<KeywordName, 14> kKeywords{{
    {L"Provider", KeyKind::Provider},
    {L"Data Source", KeyKind::DataSource},
    {L"Server", KeyKind::DataSource},
    {L"Address", KeyKind::DataSource},
    {L"Addr", KeyKind::DataSource},
    {L"Network Address", KeyKind::DataSource},
    {L"User ID", KeyKind::UserId},
    {L"UID", KeyKind::UserId},
    {L"Password", KeyKind::Password},
    {L"PWD", KeyKind::Password},
    {L"Initial Catalog", KeyKind::InitialCatalog},
    {L"Database", KeyKind::InitialCatalog},
    {L"Persist Security Info", KeyKind::Persist},
    {L"Connect Timeout", KeyKind::Timeout},
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
    settings.Provider = *provider;
    for (const ConnectionStringPair& pair : connectionString.Pairs()) {
        const KeywordName* known = nullptr;
        for (const KeywordName& candidate : kKeywords) {
            if (KeywordEquals(pair.Keyword, candidate.Name)) known = &candidate;
        }
        if (known == nullptr) {
            throw Error(L"The connection string keyword '" + pair.Keyword +
                        L"' is not supported. Supported keywords: Provider, Data Source (Server), "
                        L"User ID (UID), Password (PWD), Initial Catalog (Database), "
                        L"Persist Security Info, Connect Timeout.");
        }
        switch (known->Key) {
            case KeyKind::Provider:
                break;  // checked above
            case KeyKind::DataSource:
                settings.DataSource = pair.Value;
                break;
            case KeyKind::UserId:
                settings.UserId = pair.Value;
                break;
            case KeyKind::Password:
                settings.Password = pair.Value;
                break;
            case KeyKind::InitialCatalog:
                settings.InitialCatalog = pair.Value;
                break;
            case KeyKind::Persist:
                ParseBoolean(pair.Value);
                break;  // checked, no effect here
            case KeyKind::Timeout:
                settings.LoginTimeoutSeconds = ParseTimeout(pair.Keyword, pair.Value);
                break;
        }
    }

    // ADO: arguments of Open replace the string's values only when they are not empty.
    if (!userId.empty()) settings.UserId = std::wstring(userId);
    if (!password.empty()) settings.Password = std::wstring(password);
    return settings;
}

}  // namespace db
