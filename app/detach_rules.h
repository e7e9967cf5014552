// The file-naming rule and the texts the detach sends: platform-neutral, so they are
// tested natively as well as in the program.
#pragma once

#include <string>
#include <string_view>

namespace app {

// Lengths count UTF-16 code units (wchar_t on Windows). A data file N_Data.MDF gives the
// log N_Log.LDF (cut 8: "Data.MDF") and the database N (cut 9: "_Data.MDF"); other names
// are cut by the same counts. A name shorter than its cut gives an empty piece.
std::wstring DeriveLogPath(std::wstring_view fileName);
std::wstring DeriveDatabaseName(std::wstring_view fileTitle);

// "Provider=SQLOLEDB.1;Persist Security Info=False;Data Source='S';User ID=sa;Initial
// Catalog=master", the server quoted by the connection string's rules (a ' inside the
// quotes is doubled), so a server name cannot end the value early.
std::wstring BuildConnectionString(std::wstring_view server);

// "sp_detach_db 'N','true'", the name as a T-SQL literal (a ' inside is doubled). A name
// with any character outside ASCII goes as a Unicode literal, "sp_detach_db N'N','true'":
// a literal without N reaches the server in its collation's code page, where such
// characters may become '?' (CJK on a code page 1252 server, anything beyond U+FFFF on
// every code page), and the server would look for another name.
std::wstring BuildDetachStatement(std::wstring_view databaseName);

// How long one detach waits for the server: for the login (ADO's default, which the
// connection string leaves in place: it sets no "Connect Timeout") and for the statement
// (ADO's default CommandTimeout). Form1::DetachInOneSession applies them.
inline constexpr long kDetachLoginTimeoutSeconds = 15;
inline constexpr long kDetachStatementTimeoutSeconds = 30;

}  // namespace app
