// What the reliability tests share: a temporary folder of sample databases, a plain ODBC
// session that reads the server's catalog (the check connection, apart from the
// connection layer under test), and a watcher that answers Form1's message boxes from a
// helper thread while a Click handler runs on the test's thread.
#pragma once

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dorvane::test {

// A folder under %TEMP% with sample databases, removed with its files.
class SampleFolder {
public:
    SampleFolder();
    ~SampleFolder();
    SampleFolder(const SampleFolder&) = delete;
    SampleFolder& operator=(const SampleFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    // NAME_Data.MDF and NAME_Log.LDF through MakeSampleDatabase.
    void AddDatabase(const std::wstring& name);
    // The folder as the stand-in sees it (a Unix path).
    std::wstring UnixPath() const;
    // The bytes of one file of the folder.
    std::string Bytes(const std::wstring& fileName) const;

private:
    std::wstring path_;
};

// One ODBC handle, freed once.
class OdbcHandle {
public:
    OdbcHandle() = default;
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    OdbcHandle(OdbcHandle&& o) noexcept : type_(o.type_), h_(std::exchange(o.h_, SQLHANDLE{})) {}
    OdbcHandle& operator=(OdbcHandle&& o) noexcept;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    ~OdbcHandle();
    SQLHANDLE Get() const { return h_; }
    SQLSMALLINT Type() const { return type_; }

private:
    SQLSMALLINT type_ = SQL_HANDLE_ENV;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// A session through Wine's odbc32 and FreeTDS as sa; the connection goes before its
// environment. Statements go as SQL text with the W functions.
class CheckSession {
public:
    explicit CheckSession(int port);
    ~CheckSession();
    CheckSession(const CheckSession&) = delete;
    CheckSession& operator=(const CheckSession&) = delete;
    bool Connected() const { return connected_; }
    const std::wstring& Error() const { return error_; }
    // Runs a statement; nullopt on success, else the first diagnostic's native number
    // and text ("native: text").
    std::optional<std::wstring> Run(const std::wstring& sql);
    // The first column of every row of the statement's first result.
    std::vector<std::wstring> Column(const std::wstring& sql);

private:
    OdbcHandle env_;
    OdbcHandle dbc_;
    bool connected_ = false;
    std::wstring error_;
};

// A T-SQL delimited identifier ([name], ] doubled) and an N'' literal (' doubled),
// written here independently of the code under test.
std::wstring BracketIdentifier(const std::wstring& name);
std::wstring NLiteral(const std::wstring& text);

// Watches for a message box owned by `owner` (class #32770), records its title and
// text (static control 0xFFFF) and presses OK, once. Gives up after `limit`.
class MessageBoxWatcher {
public:
    MessageBoxWatcher(HWND owner, DWORD limitMs);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
    // Waits for the watcher thread; true when a box was seen and closed.
    bool Finish();
    const std::wstring& Title() const { return title_; }
    const std::wstring& Text() const { return text_; }
    // The milliseconds from start to the box's appearance.
    DWORD ElapsedMs() const { return elapsedMs_; }

private:
    void Watch(HWND owner, DWORD limitMs);
    std::atomic<bool> seen_{false};
    std::wstring title_, text_;
    DWORD elapsedMs_ = 0;
    std::thread thread_;  // last: it starts after the fields it writes exist
};

// Delivers pending messages of this thread (bounded).
void PumpMessages();

}  // namespace dorvane::test
