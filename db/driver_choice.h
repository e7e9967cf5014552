// Which installed ODBC driver talks to SQL Server, and the ODBC connection string for it.
// Platform-neutral: the list of drivers comes from SQLDriversW on Windows (or Wine).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection_settings.h"

namespace db {

// The driver families, best first. The older ones are what machines running older SQL
// Servers (Windows 7 to 8.1, Server 2008 R2 to 2012 R2) tend to carry.
enum class DriverKind {
    Odbc18,          // "ODBC Driver 18 for SQL Server"
    Odbc17,          // "ODBC Driver 17 for SQL Server"
    Odbc131,         // "ODBC Driver 13.1 for SQL Server"
    Odbc13,          // "ODBC Driver 13 for SQL Server"
    Odbc11,          // "ODBC Driver 11 for SQL Server"
    NativeClient11,  // "SQL Server Native Client 11.0"
    NativeClient10,  // "SQL Server Native Client 10.0"
    FreeTds,         // FreeTDS (the driver under Wine and Linux)
    SqlServer,       // the built-in "SQL Server" driver every Windows has
};

// One entry of SQLDriversW: the driver's description (its name) and its attributes
// ("Driver=/usr/lib/.../libtdsodbc.so", "UsageCount=1", ...).
struct InstalledDriver {
    std::wstring Name;
    std::vector<std::wstring> Attributes;
};

struct ChosenDriver {
    std::wstring Name;  // as installed, for DRIVER={...}
    DriverKind Kind;
};

// The family of one installed driver, if it is a SQL Server driver. A driver counts as
// FreeTDS when its name contains "FreeTDS" or its library is FreeTDS's (libtdsodbc), so a
// FreeTDS registered under another name (even "SQL Server") is still driven as FreeTDS.
std::optional<DriverKind> ClassifyDriver(const InstalledDriver& driver);

// The best SQL Server driver of the list (the first one of the best family), if any.
std::optional<ChosenDriver> ChooseDriver(const std::vector<InstalledDriver>& installed);

// The folder of a driver's library as its registration names it (ODBCINST.INI's Driver
// value), where the driver's own DLLs sit: the path up to its file name when it is a full
// Windows path ("C:\...\x.dll", or "\\server\share\...\x.dll"); empty for anything
// else, such as the Unix path of a driver that Wine's ODBC manager lists, or a bare name.
std::wstring DriverFolder(std::wstring_view library);

// The description of the error when no SQL Server driver is installed: says so and
// lists what is installed.
std::wstring NoDriverDescription(const std::vector<InstalledDriver>& installed);

// The server text for the driver: an empty Data Source means the local machine,
// "(local)" for Microsoft's drivers, "localhost" for FreeTDS. FreeTDS knows neither
// "(local)" nor "." nor the "tcp:" prefix, so those are rewritten for it; "host,port"
// is split into SERVER and PORT for FreeTDS (when a port is given, an instance name is
// not looked up, as with Microsoft's drivers). Anything else is passed through.
struct ServerAddress {
    std::wstring Server;
    std::wstring Port;  // FreeTDS only; empty when not given
};
ServerAddress ServerAddressFor(DriverKind kind, const std::wstring& dataSource);

// The TDS version asked of FreeTDS: the highest the stand-in and SQL Server 2012 and
// later speak (7.1 to 7.4).
inline constexpr wchar_t kFreeTdsVersion[] = L"7.4";

// The ODBC connection string for SQLDriverConnectW, with only keywords the driver knows:
//   DRIVER={name};SERVER=...;[PORT=...;]UID=...;PWD=...;[DATABASE=...;] (every driver) plus
//   - Driver 18: Encrypt=no;TrustServerCertificate=yes (18 encrypts and checks the
//     certificate by default; SQLOLEDB does neither, and "no" is what 18.1+ call
//     "Optional": encryption still happens when the server demands it). Drivers 17 to 11
//     and both Native Clients know Encrypt (yes/no only) and TrustServerCertificate but
//     do not encrypt by default, so they get neither, nor does the built-in driver.
//     (ApplicationIntent and MultiSubnetFailover, unknown to Native Client 10.0 and the
//     built-in driver, are never sent: a detach connects to one named server);
//   - FreeTDS: TDS_Version=7.4;ClientCharset=UTF-8 (Unicode database and login names).
//     The login timeout is not put in the string: FreeTDS (1.3, also under Wine) honours
//     SQL_ATTR_LOGIN_TIMEOUT for the whole login, a server that accepts the TCP
//     connection and never answers included, while its LoginTimeout keyword is ignored.
// Every value is quoted by QuoteOdbcValue.
std::wstring BuildDriverConnectionString(const ChosenDriver& driver, const ConnectionSettings& settings);

}  // namespace db
