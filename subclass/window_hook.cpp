#include "subclass/window_hook.h"

#include <type_traits>

#include "subclass/hook_stub.h"

namespace subclass {

// The stubs read the message tables through the addresses of the records' vectors. When
// m_aHooks grows, its records move, and a moved vector keeps its buffer, so those addresses
// stay valid; a copied one would not.
static_assert(std::is_nothrow_move_constructible_v<HookRecord>);

WindowHooks::WindowHooks(ISubclassOwner& owner) : m_owner(owner) {}

WindowHooks::~WindowHooks() {
    for (HookRecord& record : m_aHooks) {
        if (record.pStub != nullptr) record.pStub->Release();
        record.pStub = nullptr;
        record.hWndHooked = nullptr;
    }
}

const std::vector<HookRecord>& WindowHooks::Records() const { return m_aHooks; }

bool WindowHooks::TemplateBuilt() const { return m_bTemplateBuilt; }

void WindowHooks::BuildTemplate() {
    // The one-time set-up of an owner: its record array starts anew with the single free
    // record 0. Nothing else needs preparing, since each stub is a registration with the
    // subclassing service rather than code built from a template.
    m_aHooks.assign(1, HookRecord{});
    m_bTemplateBuilt = true;
}

int32_t WindowHooks::FindHook(HWND hWnd, bool bFree) const {
    for (auto index = static_cast<int32_t>(m_aHooks.size()) - 1; index >= 0; --index) {
        const HWND hooked = m_aHooks[static_cast<size_t>(index)].hWndHooked;
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
        if (record.hWndHooked != hWnd || record.pStub == nullptr) continue;
        if (newest < 0 || record.pStub->Id() > newestId) {
            newest = index;
            newestId = record.pStub->Id();
        }
    }
    return newest;
}

int32_t WindowHooks::HookWindow(HWND hWnd) {
    try {
        int32_t index = 0;
        if (!m_bTemplateBuilt) {
            BuildTemplate();
        } else {
            index = FindHook(hWnd, true);
            if (index < 0) {
                m_aHooks.emplace_back();
                index = static_cast<int32_t>(m_aHooks.size()) - 1;
            }
        }
        // Informational: with several hooks in one chain the procedure slot keeps the
        // service's own entry, not any one stub.
        const auto prevProc =
            IsWindow(hWnd) ? reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) : nullptr;
        HookStubPtr stub(new HookStub(m_owner, hWnd));
        if (!stub->Install()) return -1;  // the window is untouched, the record stays free

        HookRecord& record = m_aHooks[static_cast<size_t>(index)];
        record.hWndHooked = hWnd;
        record.pStub = stub.release();
        record.pPrevProc = prevProc;
        record.nAfterCount = 0;
        record.nBeforeCount = 0;
        return index;
    } catch (...) {
        return -1;  // out of memory growing the records or making the stub: nothing was installed
    }
}

void WindowHooks::HookMessage(HWND hWnd, UINT uMsg, int32_t When) {
    try {
        const int32_t index = FindNewestHook(hWnd);
        if (index < 0) return;
        HookRecord& record = m_aHooks[static_cast<size_t>(index)];
        if ((When & HOOK_BEFORE) != 0) {
            AddToMessageTable(uMsg, record.aBeforeMsgs, record.nBeforeCount, HOOK_BEFORE, record.pStub);
        }
        if ((When & HOOK_AFTER) != 0) {
            AddToMessageTable(uMsg, record.aAfterMsgs, record.nAfterCount, HOOK_AFTER, record.pStub);
        }
    } catch (...) {
        // Out of memory growing a table: table and stub keep their consistent old contents.
    }
}

void WindowHooks::AddToMessageTable(UINT uMsg, std::vector<UINT>& table, int32_t& count, int32_t When,
                                    HookStub* pStub) {
    if (uMsg == ANY_MESSAGE) {
        count = -1;
        pStub->SetCount(When, count);
        return;
    }
    // Every message is delivered already; a single one adds nothing.
    if (count < 0) return;
    for (int32_t k = 0; k < count; ++k) {
        UINT& entry = table[static_cast<size_t>(k)];
        if (entry == 0) {  // a free slot: the stub reads the same table, nothing to patch
            entry = uMsg;
            return;
        }
        if (entry == uMsg) return;  // no duplicates
    }
    table.push_back(uMsg);  // may move the table: the stub gets its new address below
    ++count;
    pStub->SetTable(When, table.data(), count);
}

void WindowHooks::UnhookWindow(HWND hWnd) {
    const int32_t index = FindNewestHook(hWnd);
    if (index < 0) return;
    HookRecord& record = m_aHooks[static_cast<size_t>(index)];
    HookStub* const pStub = record.pStub;
    record.pStub = nullptr;
    record.hWndHooked = nullptr;
    record.pPrevProc = nullptr;
    // The stub stops reading the tables before they are erased.
    if (pStub != nullptr) pStub->Release();
    record.nBeforeCount = 0;
    record.nAfterCount = 0;
    record.aBeforeMsgs = {};
    record.aAfterMsgs = {};
}

}  // namespace subclass
