#include "db/driver_choice.h"

#include <string_view>
#include <utility>

#include "db/connection_string.h"

namespace db {

namespace {

bool ContainsNoCase(std::wstring_view text, std::wstring_view part) {
    if (part.size() > text.size()) return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (KeywordEquals(text.substr(i, part.size()), part)) return true;
    }
    return false;
}

bool IsFreeTds(const InstalledDriver& driver) {
    if (ContainsNoCase(driver.Name, L"FreeTDS")) return true;
    for (const std::wstring& attribute : driver.Attributes) {
        const size_t eq = attribute.find(L'=');
        if (eq == std::wstring::npos) continue;
        const std::wstring_view key = std::wstring_view(attribute).substr(0, eq);
        if (KeywordEquals(key, L"Driver") && ContainsNoCase(attribute, L"libtdsodbc")) return true;
    }
    return false;
}

bool IsAllDigits(std::wstring_view text) {
    if (text.empty()) return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// "(local)" and "." name the local machine for Microsoft's clients.
bool IsLocalAlias(std::wstring_view host) { return KeywordEquals(host, L"(local)") || host == L"." || host.empty(); }

}  // namespace

std::optional<DriverKind> ClassifyDriver(const InstalledDriver& driver) {
    if (IsFreeTds(driver)) return DriverKind::FreeTds;
    static constexpr std::pair<const wchar_t*, DriverKind> kMicrosoft[] = {
        {L"ODBC Driver 18 for SQL Server", DriverKind::Odbc18},
        {L"ODBC Driver 17 for SQL Server", DriverKind::Odbc17},
        {L"ODBC Driver 13.1 for SQL Server", DriverKind::Odbc131},
        {L"ODBC Driver 13 for SQL Server", DriverKind::Odbc13},
        {L"ODBC Driver 11 for SQL Server", DriverKind::Odbc11},
        {L"SQL Server Native Client 11.0", DriverKind::NativeClient11},
        {L"SQL Server Native Client 10.0", DriverKind::NativeClient10},
        {L"SQL Server", DriverKind::SqlServer},
    };
    for (const auto& [name, kind] : kMicrosoft) {
        if (KeywordEquals(driver.Name, name)) return kind;
    }
    return std::nullopt;
}

std::optional<ChosenDriver> ChooseDriver(const std::vector<InstalledDriver>& installed) {
    std::optional<ChosenDriver> best;
    for (const InstalledDriver& driver : installed) {
        const std::optional<DriverKind> kind = ClassifyDriver(driver);
        if (!kind) continue;
        // The enum lists the families best first; on a tie the first installed one stays.
        if (!best || static_cast<int>(*kind) < static_cast<int>(best->Kind)) {
            best = ChosenDriver{driver.Name, *kind};
        }
    }
    return best;
}

std::wstring DriverFolder(std::wstring_view library) {
    const size_t last = library.find_last_of(L"\\/");
    if (last == std::wstring_view::npos || last + 1 == library.size()) return {};  // no file name
    if (library.size() > 3 && IsAsciiLetter(library[0]) && library[1] == L':' && IsSeparator(library[2])) {
        return std::wstring(library.substr(0, last == 2 ? 3 : last));  // a drive's root keeps its separator
    }
    // "\\server\share\...": the folder holds the share at least.
    if (library.size() < 3 || !IsSeparator(library[0]) || !IsSeparator(library[1]) || IsSeparator(library[2])) {
        return {};
    }
    const size_t server = library.find_first_of(L"\\/", 2);
    if (server == std::wstring_view::npos || last <= server + 1) return {};
    return std::wstring(library.substr(0, last));
}

std::wstring NoDriverDescription(const std::vector<InstalledDriver>& installed) {
    std::wstring text =
        L"No SQL Server ODBC driver is installed (looked for ODBC Driver 18, 17, 13.1, 13 or 11 "
        L"for SQL Server, SQL Server Native Client 11.0 or 10.0, FreeTDS, SQL Server). "
        L"Installed ODBC drivers: ";
    if (installed.empty()) {
        text += L"none.";
        return text;
    }
    for (size_t i = 0; i < installed.size(); ++i) {
        if (i > 0) text += L", ";
        text += installed[i].Name;
    }
    text += L'.';
    return text;
}

ServerAddress ServerAddressFor(DriverKind kind, const std::wstring& dataSource) {
    if (kind != DriverKind::FreeTds) {
        return {dataSource.empty() ? std::wstring(L"(local)") : dataSource, {}};
    }
    std::wstring_view text = dataSource;
    if (text.size() >= 4 && KeywordEquals(text.substr(0, 4), L"tcp:")) text.remove_prefix(4);

    ServerAddress address;
    std::wstring_view host = text;
    const size_t comma = text.rfind(L',');
    if (comma != std::wstring_view::npos && IsAllDigits(text.substr(comma + 1))) {
        host = text.substr(0, comma);
        address.Port = std::wstring(text.substr(comma + 1));
        // With a port the instance name is not needed (no SQL Browser lookup).
        const size_t slash = host.find(L'\\');
        if (slash != std::wstring_view::npos) host = host.substr(0, slash);
    }
    std::wstring_view machine = host;
    std::wstring_view instance;
    const size_t slash = host.find(L'\\');
    if (slash != std::wstring_view::npos) {
        machine = host.substr(0, slash);
        instance = host.substr(slash);  // keeps the backslash
    }
    address.Server = IsLocalAlias(machine) ? std::wstring(L"localhost") : std::wstring(machine);
    address.Server += instance;
    // Without a port FreeTDS refuses the host ("invalid port number"); SQL Server's default
    // is 1433. A named instance is left to the SQL Browser lookup instead.
    if (address.Port.empty() && instance.empty()) address.Port = L"1433";
    return address;
}

std::wstring BuildDriverConnectionString(const ChosenDriver& driver, const ConnectionSettings& settings) {
    const ServerAddress address = ServerAddressFor(driver.Kind, settings.DataSource);
    // The driver name always goes in braces (names have blanks); QuoteOdbcValue would
    // leave a plain one bare, which drivers also accept, but braces are the documented form.
    std::wstring text = L"DRIVER={";
    for (wchar_t c : driver.Name) {
        text += c;
        if (c == L'}') text += c;
    }
    text += L"};";

    std::vector<std::pair<std::wstring, std::wstring>> parts;
    parts.emplace_back(L"SERVER", address.Server);
    if (!address.Port.empty()) parts.emplace_back(L"PORT", address.Port);
    parts.emplace_back(L"UID", settings.UserId);
    parts.emplace_back(L"PWD", settings.Password);
    if (!settings.InitialCatalog.empty()) parts.emplace_back(L"DATABASE", settings.InitialCatalog);
    switch (driver.Kind) {
        case DriverKind::Odbc18:
            parts.emplace_back(L"Encrypt", L"no");
            parts.emplace_back(L"TrustServerCertificate", L"yes");
            break;
        case DriverKind::FreeTds:
            parts.emplace_back(L"TDS_Version", kFreeTdsVersion);
            parts.emplace_back(L"ClientCharset", L"UTF-8");
            break;
        case DriverKind::Odbc17:
        case DriverKind::Odbc131:
        case DriverKind::Odbc13:
        case DriverKind::Odbc11:
        case DriverKind::NativeClient11:
        case DriverKind::NativeClient10:
        case DriverKind::SqlServer:
            break;
    }
    text += BuildOdbcConnectionString(parts);
    return text;
}

}  // namespace db
