// Counts the messages of one window that a test picks, while the counter lives: a subclass
// of its own, ahead of the window's procedure.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace testing_support {

class MessageCounter {
public:
    using Picks = bool (*)(UINT msg, WPARAM wParam, LPARAM lParam);
    MessageCounter(HWND hwnd, Picks picks) : hwnd_(hwnd), picks_(picks) {
        ::SetWindowSubclass(hwnd_, &Proc, kId, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageCounter() {
        if (::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, &Proc, kId);
    }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    int Count() const { return count_; }

private:
    static constexpr UINT_PTR kId = 0xC0C0;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        auto* counter = reinterpret_cast<MessageCounter*>(self);
        if (counter->picks_(msg, wParam, lParam)) ++counter->count_;
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    HWND hwnd_;
    Picks picks_;
    int count_ = 0;
};

}  // namespace testing_support
