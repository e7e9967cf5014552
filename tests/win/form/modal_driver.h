// Drives the modal windows a handler opens on the test's thread (the open dialog, the
// message boxes) from a second thread, as an operator would answer them.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace dorvane::test {

// A dialog-class window (#32770) owned by `owner`, or null.
HWND FindOwnedDialog(HWND owner);

struct MessageBoxSeen {
    bool Shown = false;
    std::wstring Title;
    std::wstring Text;
    bool HasIcon = false;
    int Buttons = 0;
    HWND Owner = nullptr;
};

// Watches for one message box owned by `owner`, records it and presses OK.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(HWND owner, std::chrono::milliseconds limit = std::chrono::seconds(40));
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    // Waits for the watcher to finish and returns what it saw.
    MessageBoxSeen Result();

private:
    std::thread thread_;
    MessageBoxSeen seen_;
};

// Watches for the open dialog owned by `owner`, types `path` into its file-name field
// and confirms (or cancels when `path` is empty).
class OpenDialogAnswerer {
public:
    OpenDialogAnswerer(HWND owner, std::wstring path, std::chrono::milliseconds limit = std::chrono::seconds(20));
    ~OpenDialogAnswerer();
    OpenDialogAnswerer(const OpenDialogAnswerer&) = delete;
    OpenDialogAnswerer& operator=(const OpenDialogAnswerer&) = delete;
    bool Answered();  // waits for the watcher
    // The folder the dialog showed when it appeared (after Answered).
    const std::wstring& Folder() const { return folder_; }

private:
    std::thread thread_;
    std::atomic<bool> answered_{false};
    std::wstring folder_;
};

}  // namespace dorvane::test
