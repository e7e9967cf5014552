// Start-up of a Windows program as the operator sees it: from CreateProcess to the moment
// its window exists and to the moment its first paint is complete, plus its working set
// and the DLLs it has loaded once it has painted.
//   bench_launch [--steps] PROGRAM WINDOW_CLASS
// "Painted" is when the last of nine screen pixels spread over the client area reached
// the value it keeps (nothing changes for 1.5 s after it); the pixels are read from the
// screen, as a person would see them. Prints window_ms, painted_ms, working_set_kb,
// peak_working_set_kb and one "module NAME" line per loaded module. With --steps (for
// Dorvane.exe of the benchmark build) it also prints the steps of the start that
// app/start_steps.h marks: "step NAME MS KB" each, the time and the working set it added,
// and "step_marks_own_ms MS", what the marks themselves took.
#include <windows.h>
#include <psapi.h>

#include <array>
#include <memory>
#include <cstdio>
#include <string>

#include "app/start_steps.h"
#include "bench/bench_timer.h"
#include "win32/win_handles.h"

namespace {

struct Process {
    PROCESS_INFORMATION info{};
    ~Process() {
        if (info.hProcess) {
            ::TerminateProcess(info.hProcess, 0);
            ::WaitForSingleObject(info.hProcess, 10000);
            ::CloseHandle(info.hProcess);
        }
        if (info.hThread) ::CloseHandle(info.hThread);
    }
};

namespace steps = app::start_steps;

// The steps' names as printed, in the order of app::start_steps::Step.
constexpr const char* kStepNames[] = {"process_start_to_wWinMain", "common_controls", "design_read", "form_window",
                                      "icons", "fonts", "child_windows", "buttons_properties_hooks_regions", "layout",
                                      "shown_and_form_painted", "banner_decoded_drawn", "children_painted_queue_empty"};
static_assert(std::size(kStepNames) == steps::StepCount, "a name for every step of the start");

// The section Dorvane.exe marks its start in, named to it by the variable it inherits.
struct StepSection {
    win32::UniqueKernelHandle Mapping;
    steps::Record* View = nullptr;
    StepSection() {
        const std::wstring name = L"Local\\DorvaneStartSteps" + std::to_wstring(::GetCurrentProcessId());
        Mapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(steps::Record),
                                           name.c_str()));
        if (Mapping) View = static_cast<steps::Record*>(::MapViewOfFile(Mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
        if (View) ::SetEnvironmentVariableW(steps::kVariable, name.c_str());
    }
    ~StepSection() {
        if (View) ::UnmapViewOfFile(View);
    }
};

double CountsToMs(int64_t counts) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(counts) / static_cast<double>(f.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool withSteps = argc == 4 && std::wstring(argv[1]) == L"--steps";
    if (argc != 3 && !withSteps) {
        std::fprintf(stderr, "usage: bench_launch [--steps] PROGRAM WINDOW_CLASS\n");
        return 2;
    }
    if (withSteps) ++argv;
    std::unique_ptr<StepSection> section;
    if (withSteps) {
        section = std::make_unique<StepSection>();
        if (!section->View) {
            std::fprintf(stderr, "bench_launch: cannot make the steps' section (%lu)\n", ::GetLastError());
            return 1;
        }
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    Process p;
    if (section) {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        section->View->Last = now.QuadPart;
    }
    const double start = bench::NowMs();
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &p.info)) {
        std::fprintf(stderr, "bench_launch: CreateProcess failed (%lu)\n", ::GetLastError());
        return 1;
    }
    HWND window = nullptr;
    double windowMs = 0;
    while (!window) {
        window = ::FindWindowW(argv[2], nullptr);
        if (window && !::IsWindowVisible(window)) window = nullptr;
        if (bench::NowMs() - start > 60000) {
            std::fprintf(stderr, "bench_launch: no window within 60 s\n");
            return 1;
        }
        if (!window) ::Sleep(1);
    }
    windowMs = bench::NowMs() - start;

    RECT client{};
    ::GetClientRect(window, &client);
    std::array<POINT, 9> points{};
    for (int i = 0; i < 9; ++i) {
        points[i] = {client.right * (1 + 2 * (i % 3)) / 6, client.bottom * (1 + 2 * (i / 3)) / 6};
        ::ClientToScreen(window, &points[i]);
    }
    win32::WindowDc screen(nullptr);
    std::array<COLORREF, 9> last{};
    last.fill(CLR_INVALID);
    double lastChange = bench::NowMs();
    while (bench::NowMs() - lastChange < 1500 && bench::NowMs() - start < 60000) {
        for (int i = 0; i < 9; ++i) {
            const COLORREF c = ::GetPixel(screen.get(), points[i].x, points[i].y);
            if (c != last[i]) {
                last[i] = c;
                lastChange = bench::NowMs();
            }
        }
        ::Sleep(1);
    }
    const double paintedMs = lastChange - start;

    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (!::GetProcessMemoryInfo(p.info.hProcess, &pmc, sizeof pmc)) {
        std::fprintf(stderr, "bench_launch: GetProcessMemoryInfo failed (%lu)\n", ::GetLastError());
        return 1;
    }
    bench::Report("window_ms", windowMs);
    bench::Report("painted_ms", paintedMs);
    bench::Report("working_set_kb", static_cast<double>(pmc.WorkingSetSize) / 1024.0);
    bench::Report("peak_working_set_kb", static_cast<double>(pmc.PeakWorkingSetSize) / 1024.0);
    if (section) {
        const steps::Record& r = *section->View;
        for (int i = 0; i < steps::StepCount; ++i)
            std::printf("step %s %.3f %.0f\n", kStepNames[i], CountsToMs(r.Counts[i]),
                        static_cast<double>(r.WorkingSet[i]) / 1024.0);
        bench::Report("step_marks_own_ms", CountsToMs(r.OwnCost));
    }
    HMODULE modules[512];
    DWORD needed = 0;
    if (::EnumProcessModules(p.info.hProcess, modules, sizeof modules, &needed)) {
        for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
            char name[MAX_PATH] = {};
            if (::GetModuleBaseNameA(p.info.hProcess, modules[i], name, MAX_PATH)) std::printf("module %s\n", name);
        }
    }
    return 0;
}
