// A connection to SQL Server through ODBC, taking the OLE DB connection string of the
// SQL Server OLE DB provider and behaving as ADO's Connection does for Open and Execute.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/driver_choice.h"
#include "db/error.h"
#include "db/odbc_handles.h"

namespace db {

// ADO's "unspecified" option value.
inline constexpr long kOptionUnspecified = -1;

class Connection {
public:
    Connection() = default;
    Connection(Connection&&) noexcept = default;
    // Ends this object's own session (connection before environment) and takes `other`'s.
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    // Ends the session and frees every handle; no explicit close is needed.
    ~Connection() = default;

    // Opens the connection the OLE DB string describes (see ResolveSettings for the
    // keywords) with the best installed SQL Server ODBC driver. Non-empty `userId` and
    // `password` replace the string's values. `options`: -1 (unspecified) or 0; ADO's
    // asynchronous connect is not supported. No connection pooling; login timeout 15 s
    // unless "Connect Timeout" says otherwise. Throws db::Error on every failure.
    void Open(std::wstring_view connectionString, std::wstring_view userId, std::wstring_view password,
              long options = kOptionUnspecified);

    // Runs `statement` as SQL text with the command timeout (30 s unless set). Every result is read
    // through to its end and discarded, so a server error in a later result is raised
    // too. `options`: -1 (unspecified) or a combination of ADO's adCmdText (1),
    // adCmdUnknown (8) and adExecuteNoRecords (0x80). Throws db::Error on every failure.
    void Execute(std::wstring_view statement, long options = kOptionUnspecified);

    // ADO's CommandTimeout: seconds a statement may run (0 = no limit); 30 by default.
    void SetCommandTimeout(long seconds);
    long CommandTimeout() const noexcept { return commandTimeoutSeconds_; }

    bool IsOpen() const noexcept { return connection_.Connected(); }
    // The driver the last Open chose (empty before).
    const std::wstring& DriverName() const noexcept { return driverName_; }

private:
    // Declared in this order so the connection goes before its environment.
    odbc::Environment environment_;
    odbc::ConnectionHandle connection_;
    std::wstring driverName_;
    long commandTimeoutSeconds_ = kDefaultCommandTimeoutSeconds;
};

// The ODBC drivers installed, as SQLDriversW lists them (the W function: under Wine the
// A one is not implemented). Throws db::Error.
std::vector<InstalledDriver> InstalledDrivers();

}  // namespace db
