#include "db/connection.h"

#include <mutex>
#include <set>
#include <utility>

#include "db/connection_settings.h"
#include "db/connection_string.h"

namespace db {

namespace {

constexpr long kAdCmdText = 0x1;
constexpr long kAdCmdUnknown = 0x8;
constexpr long kAdExecuteNoRecords = 0x80;

// Splits SQLDriversW's attribute list "a=1\0b=2\0\0".
std::vector<std::wstring> SplitAttributes(const SQLWCHAR* list, size_t capacity) {
    std::vector<std::wstring> attributes;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(list);
    size_t pos = 0;
    while (pos < capacity && text[pos] != L'\0') {
        size_t end = pos;
        while (end < capacity && text[end] != L'\0') ++end;
        attributes.emplace_back(text + pos, end - pos);
        pos = end + 1;
    }
    return attributes;
}

// Connection pooling off for the process, as the SQL Server OLE DB provider with ADO
// does not share sessions: every Open makes its own login and every release ends it.
void TurnOffPooling() {
    const SQLRETURN rc = SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING,
                                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_CP_OFF)), SQL_IS_UINTEGER);
    if (!odbc::Succeeded(rc)) {
        throw Error(L"Connection pooling could not be turned off (SQLSetEnvAttr returned " + std::to_wstring(rc) +
                    L").");
    }
}

std::vector<InstalledDriver> ListDrivers(const odbc::Environment& environment) {
    std::vector<InstalledDriver> drivers;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (true) {
        SQLWCHAR name[512] = {};
        SQLWCHAR attributes[4096] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc =
            SQLDriversW(environment.get(), direction, name, 512, &nameLength, attributes, 4096, &attributesLength);
        if (rc == SQL_NO_DATA) break;
        odbc::Check(rc, SQL_HANDLE_ENV, environment.get(), L"Listing the ODBC drivers");
        InstalledDriver driver;
        driver.Name = reinterpret_cast<const wchar_t*>(name);
        driver.Attributes = SplitAttributes(attributes, 4096);
        drivers.push_back(std::move(driver));
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

// The library the registry names for an installed driver (ODBCINST.INI's Driver value; a
// 32-bit program on 64-bit Windows is shown the 32-bit drivers' view by the registry), or
// empty.
std::wstring RegisteredLibrary(const std::wstring& driverName) {
    const std::wstring key = L"SOFTWARE\\ODBC\\ODBCINST.INI\\" + driverName;
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Driver", RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    std::wstring library(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(library.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Driver", RRF_RT_REG_SZ, nullptr, library.data(), &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    library.resize(::lstrlenW(library.c_str()));
    return library;
}

// Puts the chosen driver's folder on the DLL search (wWinMain limits it to the system folder
// and the folders added so), so that the DLLs the driver brings beside it load with it.
// Each folder once, for the rest of the process (its cookie is not kept): the driver
// manager decides when it unloads the driver, and the next detach takes the same one. A
// library that is no full Windows path (Wine's ODBC manager lists Unix paths), a folder
// AddDllDirectory refuses and a system without the call (Windows 7 without KB2533623,
// whose search still finds them beside the driver) add nothing; the connection goes on.
void AddDriverFolder(const std::wstring& driverName) {
    const std::wstring folder = DriverFolder(RegisteredLibrary(driverName));
    if (folder.empty()) return;
    static std::mutex g_addedMutex;
    static std::set<std::wstring> g_added;
    const std::lock_guard<std::mutex> lock(g_addedMutex);
    if (g_added.count(folder)) return;
    using AddDllDirectoryFn = void*(WINAPI*)(PCWSTR);
    const auto add = reinterpret_cast<AddDllDirectoryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory")));
    if (add && add(folder.c_str())) g_added.insert(folder);
}

}  // namespace

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        connection_ = std::move(other.connection_);  // disconnects and frees ours first
        environment_ = std::move(other.environment_);
        driverName_ = std::move(other.driverName_);
        commandTimeoutSeconds_ = other.commandTimeoutSeconds_;
    }
    return *this;
}

std::vector<InstalledDriver> InstalledDrivers() { return ListDrivers(odbc::Environment::Create()); }

void Connection::Open(std::wstring_view connectionString, std::wstring_view userId, std::wstring_view password,
                      long options) {
    if (options != kOptionUnspecified && options != 0) {
        throw Error(L"Open option " + std::to_wstring(options) +
                    L" is not supported: Dorvane opens connections synchronously only.");
    }
    if (IsOpen()) throw Error(L"The connection is already open.");

    const ConnectionSettings settings = ResolveSettings(ConnectionString::Parse(connectionString), userId, password);

    TurnOffPooling();
    odbc::Environment environment = odbc::Environment::Create();
    const std::vector<InstalledDriver> installed = ListDrivers(environment);
    const std::optional<ChosenDriver> driver = ChooseDriver(installed);
    if (!driver) throw Error(NoDriverDescription(installed));
    AddDriverFolder(driver->Name);

    odbc::ConnectionHandle connection = odbc::ConnectionHandle::Create(environment);
    odbc::Check(SQLSetConnectAttrW(connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(settings.LoginTimeoutSeconds)),
                                   SQL_IS_UINTEGER),
                SQL_HANDLE_DBC, connection.get(), L"Setting the login timeout");

    std::wstring odbcString = BuildDriverConnectionString(*driver, settings);
    const SQLRETURN rc =
        SQLDriverConnectW(connection.get(), nullptr, odbc::Wide(odbcString),
                          static_cast<SQLSMALLINT>(odbcString.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    odbc::Check(rc, SQL_HANDLE_DBC, connection.get(), L"Connecting to SQL Server");
    connection.MarkConnected();

    environment_ = std::move(environment);
    connection_ = std::move(connection);
    driverName_ = driver->Name;
}

void Connection::SetCommandTimeout(long seconds) {
    if (seconds < 0) {
        throw Error(L"The command timeout must be 0 (no limit) or a number of seconds, not " +
                    std::to_wstring(seconds) + L".");
    }
    commandTimeoutSeconds_ = seconds;
}

void Connection::Execute(std::wstring_view statement, long options) {
    constexpr long kKnown = kAdCmdText | kAdCmdUnknown | kAdExecuteNoRecords;
    if (options != kOptionUnspecified && (options & ~kKnown) != 0) {
        throw Error(L"Execute option " + std::to_wstring(options) + L" is not supported: Dorvane runs SQL text only.");
    }
    if (!IsOpen()) throw Error(L"The connection is not open.");

    odbc::StatementHandle handle = odbc::AllocateStatement(connection_);
    odbc::Check(
        SQLSetStmtAttrW(handle.get(), SQL_ATTR_QUERY_TIMEOUT,
                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(commandTimeoutSeconds_)), SQL_IS_UINTEGER),
        SQL_HANDLE_STMT, handle.get(), L"Setting the command timeout");

    std::wstring text(statement);
    odbc::Check(SQLExecDirectW(handle.get(), odbc::Wide(text), static_cast<SQLINTEGER>(text.size())), SQL_HANDLE_STMT,
                handle.get(), L"Executing the statement");
    // Rows are discarded unread; SQLMoreResults also surfaces errors of later results.
    while (true) {
        const SQLRETURN rc = SQLMoreResults(handle.get());
        if (rc == SQL_NO_DATA) break;
        odbc::Check(rc, SQL_HANDLE_STMT, handle.get(), L"Reading the statement's results");
    }
}

}  // namespace db
