// What the reliability tests share: the check session that reads the server's catalog
// (apart from the connection layer under test), T-SQL quoting written independently, and
// a watcher that answers Form1's message boxes from a helper thread while a Click
// handler runs on the test's thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/odbc_session.h"

namespace dorvane::test {

// The check session (tests/support's OdbcSession through Wine's odbc32 and FreeTDS, as
// sa) with wide text.
class CheckSession {
public:
    explicit CheckSession(int port);
    bool Connected() const { return session_.Connected(); }
    // Why connecting failed: "native: text".
    std::wstring Error() const;
    // Runs a statement; nullopt on success, else the first diagnostic's native number
    // and text ("native: text").
    std::optional<std::wstring> Run(const std::wstring& sql);
    // The first column of every row of the statement's first result. Throws
    // std::runtime_error when the statement fails.
    std::vector<std::wstring> Column(const std::wstring& sql);

private:
    OdbcSession session_;
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
