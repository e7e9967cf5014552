// A window's subclass chain, kept in the thread's memory (window_subclass.h).
#include "win32/window_subclass.h"

#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

namespace win32 {

namespace {

struct Link {
    SubclassProc Proc;
    UINT_PTR Id;
    DWORD_PTR Data;
    bool Removed;  // left in place while a message is on its way down the chain
};

struct Chain {
    WNDPROC Original = nullptr;  // the window's procedure before the chain
    std::vector<Link> Links;     // oldest first; a message runs from the newest down
    bool Untidy = false;         // links were removed and are still in place
    bool Destroyed = false;      // WM_NCDESTROY came: the chain goes once it is idle
};

// One message on its way down a window's chain: the links below Next are still to come.
// Links are only appended while a message runs, so the indices hold.
struct Frame {
    HWND Hwnd;
    size_t Next;
};

// Windows are subclassed and their messages handled on their own thread only.
thread_local std::unordered_map<HWND, std::unique_ptr<Chain>> g_chains;
thread_local std::vector<Frame> g_frames;

bool Busy(HWND hwnd) {
    for (const Frame& f : g_frames)
        if (f.Hwnd == hwnd) return true;
    return false;
}

LRESULT CALLBACK Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

bool ChainIsTheWindowsProcedure(HWND hwnd) {
    return reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &Dispatch;
}

// Once no message runs down the chain: the removed links go, and an empty chain gives the
// window its procedure back, unless another subclass was put over the chain meanwhile
// (the chain then stays, empty, passing every message on). After WM_NCDESTROY the chain
// goes whatever it holds: no message comes after it, and the handle may name a new window.
void Tidy(HWND hwnd) {
    if (Busy(hwnd)) return;
    auto it = g_chains.find(hwnd);
    if (it == g_chains.end()) return;
    Chain& chain = *it->second;
    const bool destroyed = chain.Destroyed;
    if (chain.Untidy) {
        std::erase_if(chain.Links, [](const Link& l) { return l.Removed; });
        chain.Untidy = false;
    }
    if (!destroyed && !chain.Links.empty()) return;
    const bool restore = ChainIsTheWindowsProcedure(hwnd);
    if (restore) ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain.Original));
    if (restore || destroyed) g_chains.erase(it);
}

LRESULT CALLBACK Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = g_chains.find(hwnd);
    // Not reached: the chain is the procedure only while it exists.
    if (it == g_chains.end()) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) it->second->Destroyed = true;
    g_frames.push_back(Frame{hwnd, it->second->Links.size()});
    const LRESULT result = DefSubclass(hwnd, msg, wParam, lParam);
    g_frames.pop_back();
    Tidy(hwnd);
    return result;
}

}  // namespace

bool SetSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id, DWORD_PTR data) {
    if (!proc || !::IsWindow(hwnd) || ::GetWindowThreadProcessId(hwnd, nullptr) != ::GetCurrentThreadId())
        return false;
    try {
        auto it = g_chains.find(hwnd);
        if (it == g_chains.end()) {
            it = g_chains.emplace(hwnd, std::make_unique<Chain>()).first;
            // Sends no message: nothing reaches the chain before it is complete.
            ::SetLastError(0);
            const LONG_PTR previous = ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Dispatch));
            if (!previous && ::GetLastError() != 0) {
                g_chains.erase(it);
                return false;
            }
            it->second->Original = reinterpret_cast<WNDPROC>(previous);
        }
        for (Link& l : it->second->Links) {
            if (!l.Removed && l.Proc == proc && l.Id == id) {
                l.Data = data;  // registered already: only its data changes
                return true;
            }
        }
        it->second->Links.push_back(Link{proc, id, data, false});
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // the chain is as it was
    }
}

bool RemoveSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id) {
    auto it = g_chains.find(hwnd);
    if (it == g_chains.end()) return false;
    for (Link& l : it->second->Links) {
        if (l.Removed || l.Proc != proc || l.Id != id) continue;
        l.Removed = true;
        it->second->Untidy = true;
        Tidy(hwnd);
        return true;
    }
    return false;
}

LRESULT DefSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The innermost message of this window on the thread's stack goes on.
    size_t frame = g_frames.size();
    while (frame > 0 && g_frames[frame - 1].Hwnd != hwnd) --frame;
    auto it = g_chains.find(hwnd);
    if (frame == 0 || it == g_chains.end()) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    const Chain& chain = *it->second;
    while (g_frames[frame - 1].Next > 0) {
        const Link link = chain.Links[--g_frames[frame - 1].Next];
        if (!link.Removed) return link.Proc(hwnd, msg, wParam, lParam, link.Id, link.Data);
    }
    return ::CallWindowProcW(chain.Original, hwnd, msg, wParam, lParam);
}

}  // namespace win32
