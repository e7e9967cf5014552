// The benchmark build's start marks (start_steps.h): written into the launcher's shared
// section, found through the variable it names once, at the first mark.
#include "app/start_steps.h"

#include <windows.h>

#include <psapi.h>

#include "win32/win_handles.h"

namespace app::start_steps {

namespace {

uint64_t WorkingSet() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    return ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc) ? pmc.WorkingSetSize : 0;
}

// The section's view, kept for the life of the process.
struct Section {
    win32::UniqueKernelHandle Mapping;
    Record* View = nullptr;
    Section() {
        wchar_t name[128];
        const DWORD n = ::GetEnvironmentVariableW(kVariable, name, 128);
        if (n == 0 || n >= 128) return;
        Mapping.reset(::OpenFileMappingW(FILE_MAP_WRITE, FALSE, name));
        if (Mapping) View = static_cast<Record*>(::MapViewOfFile(Mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(Record)));
    }
    ~Section() {
        if (View) ::UnmapViewOfFile(View);
    }
};

}  // namespace

void Mark(Step step) {
    LARGE_INTEGER begin{};
    ::QueryPerformanceCounter(&begin);
    static Section g_section;
    Record* r = g_section.View;
    if (!r) return;
    const uint64_t ws = WorkingSet();
    r->Counts[step] += begin.QuadPart - r->Last;
    r->WorkingSet[step] += static_cast<int64_t>(ws - r->LastWorkingSet);
    r->LastWorkingSet = ws;
    ++r->Marks;
    LARGE_INTEGER end{};
    ::QueryPerformanceCounter(&end);
    r->OwnCost += end.QuadPart - begin.QuadPart;
    r->Last = end.QuadPart;
}

}  // namespace app::start_steps
