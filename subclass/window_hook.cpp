#include "subclass/window_hook.h"

#include <utility>

namespace subclass {

WindowHooks::WindowHooks(ISubclassOwner& owner) : owner_(owner) {}

WindowHooks::~WindowHooks() {
    for (HookRecord& record : m_aHooks) {
        record.HWndHooked = nullptr;
        record.PStub.reset();
    }
}

const std::vector<HookRecord>& WindowHooks::Records() const { return m_aHooks; }

int32_t WindowHooks::FindHook(HWND hWnd, bool bFree) const {
    for (auto index = static_cast<int32_t>(m_aHooks.size()) - 1; index >= 0; --index) {
        const HWND hooked = m_aHooks[static_cast<size_t>(index)].HWndHooked;
        if (bFree ? hooked == nullptr : hooked == hWnd) return index;
    }
    return -1;
}

// The record holding the most recent hook of hWnd. That is the one FindHook finds, except
// when a hook taken later reused a free record below an older hook of the same window; the
// newer stub runs first, so it is the one registering and unhooking act on.
int32_t WindowHooks::FindNewestHook(HWND hWnd) const {
    if (hWnd == nullptr) return -1;  // 0 marks free records: never act on one
    int32_t newest = -1;
    UINT_PTR newestId = 0;
    for (auto index = FindHook(hWnd, false); index >= 0; --index) {
        const HookRecord& record = m_aHooks[static_cast<size_t>(index)];
        if (record.HWndHooked != hWnd || record.PStub == nullptr) continue;
        if (newest < 0 || record.PStub->Id() > newestId) {
            newest = index;
            newestId = record.PStub->Id();
        }
    }
    return newest;
}

int32_t WindowHooks::HookWindow(HWND hWnd) {
    try {
        int32_t index = FindHook(hWnd, true);
        if (index < 0) {
            m_aHooks.emplace_back();
            index = static_cast<int32_t>(m_aHooks.size()) - 1;
        }
        HookStubPtr stub(new HookStub(owner_, hWnd));
        if (!stub->Install()) return -1;  // the window is untouched, the record stays free

        HookRecord& record = m_aHooks[static_cast<size_t>(index)];
        record.HWndHooked = hWnd;
        record.PStub = std::move(stub);
        return index;
    } catch (...) {
        return -1;  // out of memory growing the records or making the stub: nothing was installed
    }
}

void WindowHooks::HookMessage(HWND hWnd, UINT uMsg, int32_t When) {
    try {
        const int32_t index = FindNewestHook(hWnd);
        if (index >= 0) m_aHooks[static_cast<size_t>(index)].PStub->AddToMessageTable(uMsg, When);
    } catch (...) {
        // Out of memory growing a table: each table keeps its consistent old contents.
    }
}

void WindowHooks::UnhookWindow(HWND hWnd) {
    const int32_t index = FindNewestHook(hWnd);
    if (index < 0) return;
    HookRecord& record = m_aHooks[static_cast<size_t>(index)];
    record.HWndHooked = nullptr;
    record.PStub.reset();  // the stub stops delivering at once and takes its tables with it
}

}  // namespace subclass
