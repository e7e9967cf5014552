#include "tests/win/render/gdi_call_counter.h"

#include <cstring>
#include <set>
#include <vector>

#include <gtest/gtest.h>

namespace dorvane::test {

namespace {

GdiCalls g_calls;
std::set<HGDIOBJ> g_pens, g_brushes;
std::multiset<HGDIOBJ> g_replacedByPen;
std::set<HGDIOBJ> g_created;  // every handle value handed out while counting

using LineToFn = BOOL(WINAPI*)(HDC, int, int);
using MoveToExFn = BOOL(WINAPI*)(HDC, int, int, LPPOINT);
using SetPixelFn = COLORREF(WINAPI*)(HDC, int, int, COLORREF);
using CreatePenFn = HPEN(WINAPI*)(int, int, COLORREF);
using CreateSolidBrushFn = HBRUSH(WINAPI*)(COLORREF);
using DeleteObjectFn = BOOL(WINAPI*)(HGDIOBJ);
using SelectObjectFn = HGDIOBJ(WINAPI*)(HDC, HGDIOBJ);
using FillRectFn = int(WINAPI*)(HDC, const RECT*, HBRUSH);
using CreateRoundRectRgnFn = HRGN(WINAPI*)(int, int, int, int, int, int);
using SetWindowRgnFn = int(WINAPI*)(HWND, HRGN, BOOL);

LineToFn g_realLineTo;
MoveToExFn g_realMoveToEx;
SetPixelFn g_realSetPixel;
CreatePenFn g_realCreatePen;
CreateSolidBrushFn g_realCreateSolidBrush;
DeleteObjectFn g_realDeleteObject;
SelectObjectFn g_realSelectObject;
FillRectFn g_realFillRect;
CreateRoundRectRgnFn g_realCreateRoundRectRgn;
SetWindowRgnFn g_realSetWindowRgn;

BOOL WINAPI CountLineTo(HDC dc, int x, int y) {
    ++g_calls.LineTo;
    return g_realLineTo(dc, x, y);
}
BOOL WINAPI CountMoveToEx(HDC dc, int x, int y, LPPOINT p) {
    ++g_calls.MoveToEx;
    return g_realMoveToEx(dc, x, y, p);
}
COLORREF WINAPI CountSetPixel(HDC dc, int x, int y, COLORREF c) {
    ++g_calls.SetPixel;
    return g_realSetPixel(dc, x, y, c);
}
HPEN WINAPI CountCreatePen(int style, int width, COLORREF c) {
    ++g_calls.CreatePen;
    HPEN pen = g_realCreatePen(style, width, c);
    g_pens.insert(pen);
    g_created.insert(pen);
    return pen;
}
HBRUSH WINAPI CountCreateSolidBrush(COLORREF c) {
    ++g_calls.CreateSolidBrush;
    HBRUSH brush = g_realCreateSolidBrush(c);
    g_brushes.insert(brush);
    g_created.insert(brush);
    return brush;
}
BOOL WINAPI CountDeleteObject(HGDIOBJ obj) {
    if (g_pens.erase(obj)) ++g_calls.PensDeleted;
    if (g_brushes.erase(obj)) ++g_calls.BrushesDeleted;
    return g_realDeleteObject(obj);
}
HGDIOBJ WINAPI CountSelectObject(HDC dc, HGDIOBJ obj) {
    HGDIOBJ previous = g_realSelectObject(dc, obj);
    if (g_pens.count(obj)) {
        ++g_calls.PensSelected;
        g_replacedByPen.insert(previous);
    } else if (auto it = g_replacedByPen.find(obj); it != g_replacedByPen.end()) {
        ++g_calls.PensSelectedBack;
        g_replacedByPen.erase(it);
    }
    return previous;
}
int WINAPI CountFillRect(HDC dc, const RECT* r, HBRUSH b) {
    ++g_calls.FillRect;
    return g_realFillRect(dc, r, b);
}
HRGN WINAPI CountCreateRoundRectRgn(int a, int b, int c, int d, int e, int f) {
    ++g_calls.CreateRoundRectRgn;
    HRGN region = g_realCreateRoundRectRgn(a, b, c, d, e, f);
    g_created.insert(region);
    return region;
}
int WINAPI CountSetWindowRgn(HWND w, HRGN r, BOOL redraw) {
    ++g_calls.SetWindowRgn;
    return g_realSetWindowRgn(w, r, redraw);
}

struct Patch {
    const char* Dll;
    const char* Name;
    void* Replacement;
    void** Real;
    void** Slot = nullptr;
};

std::vector<Patch>& Patches() {
    static std::vector<Patch> g_patches = {
        {"gdi32.dll", "LineTo", reinterpret_cast<void*>(&CountLineTo), reinterpret_cast<void**>(&g_realLineTo)},
        {"gdi32.dll", "MoveToEx", reinterpret_cast<void*>(&CountMoveToEx), reinterpret_cast<void**>(&g_realMoveToEx)},
        {"gdi32.dll", "SetPixel", reinterpret_cast<void*>(&CountSetPixel), reinterpret_cast<void**>(&g_realSetPixel)},
        {"gdi32.dll", "CreatePen", reinterpret_cast<void*>(&CountCreatePen), reinterpret_cast<void**>(&g_realCreatePen)},
        {"gdi32.dll", "CreateSolidBrush", reinterpret_cast<void*>(&CountCreateSolidBrush),
         reinterpret_cast<void**>(&g_realCreateSolidBrush)},
        {"gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&CountDeleteObject),
         reinterpret_cast<void**>(&g_realDeleteObject)},
        {"gdi32.dll", "SelectObject", reinterpret_cast<void*>(&CountSelectObject),
         reinterpret_cast<void**>(&g_realSelectObject)},
        {"gdi32.dll", "CreateRoundRectRgn", reinterpret_cast<void*>(&CountCreateRoundRectRgn),
         reinterpret_cast<void**>(&g_realCreateRoundRectRgn)},
        {"user32.dll", "FillRect", reinterpret_cast<void*>(&CountFillRect), reinterpret_cast<void**>(&g_realFillRect)},
        {"user32.dll", "SetWindowRgn", reinterpret_cast<void*>(&CountSetWindowRgn),
         reinterpret_cast<void**>(&g_realSetWindowRgn)},
    };
    return g_patches;
}

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    ::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    ::VirtualProtect(slot, sizeof(void*), old, &old);
}

// Finds the import table slot of every patch in this program's image.
void FindSlots() {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; desc->Name; ++desc) {
        const char* dll = reinterpret_cast<const char*>(base + desc->Name);
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (Patch& p : Patches())
                if (_stricmp(dll, p.Dll) == 0 && std::strcmp(reinterpret_cast<const char*>(byName->Name), p.Name) == 0)
                    p.Slot = reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
}

}  // namespace

GdiCallCounter::GdiCallCounter() {
    FindSlots();
    ready_ = true;
    for (Patch& p : Patches()) {
        if (!p.Slot) {
            ADD_FAILURE() << "no import of " << p.Name << " from " << p.Dll;
            ready_ = false;
        }
    }
    if (!ready_) return;
    for (Patch& p : Patches()) {
        *p.Real = *p.Slot;
        WriteSlot(p.Slot, p.Replacement);
    }
    Reset();
}

GdiCallCounter::~GdiCallCounter() {
    if (!ready_) return;
    for (Patch& p : Patches()) WriteSlot(p.Slot, *p.Real);
}

const GdiCalls& GdiCallCounter::Calls() const { return g_calls; }

void GdiCallCounter::Reset() {
    g_calls = GdiCalls{};
    g_pens.clear();
    g_brushes.clear();
    g_replacedByPen.clear();
    g_created.clear();
}

std::vector<HGDIOBJ> GdiCallCounter::LiveObjectsCreated() const {
    std::vector<HGDIOBJ> live;
    for (HGDIOBJ h : g_created)
        if (::GetObjectType(h) != 0) live.push_back(h);
    return live;
}

}  // namespace dorvane::test
