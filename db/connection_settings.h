// What an OLE DB connection string for SQL Server asks for, checked against the rules of
// the SQL Server OLE DB providers it stands in for. Platform-neutral.
#pragma once

#include <string>
#include <string_view>

#include "db/connection_string.h"

namespace db {

// ADO's default login timeout (seconds), used unless "Connect Timeout" says otherwise.
inline constexpr long kDefaultLoginTimeoutSeconds = 15;
// ADO's default CommandTimeout (seconds).
inline constexpr long kDefaultCommandTimeoutSeconds = 30;

struct ConnectionSettings {
    std::wstring Provider;    // as written, e.g. "SQLOLEDB.1"
    std::wstring DataSource;  // as written; empty means the local machine
    std::wstring UserId;      // empty when none is given anywhere
    std::wstring Password;
    std::wstring InitialCatalog;  // empty: the login's default database
    // 0 means no limit, as with ADO.
    long LoginTimeoutSeconds = kDefaultLoginTimeoutSeconds;
};

// True for the SQL Server OLE DB providers this layer replaces: SQLOLEDB, SQLOLEDB.1,
// MSOLEDBSQL, MSOLEDBSQL.1, MSOLEDBSQL19 (case-insensitive, blanks around ignored).
bool IsSqlServerProvider(std::wstring_view provider);

// Reads the settings from a parsed string. The keywords understood (case-insensitive):
//   Provider; Data Source (also Server, Address, Addr, Network Address);
//   User ID (also UID); Password (also PWD); Initial Catalog (also Database);
//   Persist Security Info (True/False/Yes/No; accepted, it has no effect here: this
//   layer never hands the string back); Connect Timeout (whole seconds, 0 = no limit).
// Synonyms count as one keyword: the last of them wins. Any other keyword is an error
// that names it, as the OLE DB providers refuse keywords they do not support.
// `userId` and `password` (the arguments of Open) replace the string's values only when
// they are not empty, as ADO does.
// Throws db::Error for a missing or non-SQL Server provider, an unknown keyword or a
// value that is not valid for its keyword.
ConnectionSettings ResolveSettings(const ConnectionString& connectionString, std::wstring_view userId,
                                   std::wstring_view password);

}  // namespace db
