#include "app/busy_wait.h"

#include <delayimp.h>

#include <exception>

#include "host/error.h"
#include "win32/system_text.h"
#include "win32/win_handles.h"

namespace app {

namespace {

// Even without any news the wait looks at the queue this often, so the window is
// never long without its thread asking for messages.
constexpr DWORD kPollMs = 100;

// Windows 8's pointer input; the Windows 7 headers this program is built with leave
// these bits out of QS_INPUT.
constexpr UINT kQsTouch = 0x0800, kQsPointer = 0x1000;

// What the work's thread hands back: a C++ exception as it was thrown, or the record of
// a structured exception that nothing on that thread handled (and the event it sets then).
struct WorkResult {
    const std::function<void()>* Work = nullptr;
    HANDLE Abandoned = nullptr;
    std::exception_ptr Thrown;
    bool Structured = false;
    DWORD Code = 0;
    void* Address = nullptr;
    char Module[MAX_PATH] = {};  // a delay load's DLL
    DWORD ModuleError = 0;
};

// Set on the work's thread only: the unhandled-exception filter then knows the thread.
thread_local WorkResult* g_result = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

bool IsDelayLoadFailure(DWORD code) {
    return code == VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND) ||
           code == VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND);
}

// Runs on the faulting thread when no handler took a structured exception. For the
// work's thread it records the exception and stops that thread where it is, for good (the
// default would end the process without a word). Ending the thread instead would skip its
// destructors and leave the locks it holds (heap, driver manager, driver) and its server
// session behind, and the next detach could wait for them for ever. Any other thread goes
// on to the filter before.
LONG WINAPI LastChanceFilter(EXCEPTION_POINTERS* info) {
    WorkResult* result = g_result;
    if (!result) return g_previousFilter ? g_previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    result->Structured = true;
    result->Code = record.ExceptionCode;
    result->Address = record.ExceptionAddress;
    if (IsDelayLoadFailure(record.ExceptionCode) && record.NumberParameters >= 1) {
        const auto* load = reinterpret_cast<const DelayLoadInfo*>(record.ExceptionInformation[0]);
        if (load && load->szDll) lstrcpynA(result->Module, load->szDll, MAX_PATH);
        if (load) result->ModuleError = load->dwLastError;
    }
    g_result = nullptr;
    ::SetEvent(result->Abandoned);
    for (;;) ::Sleep(INFINITE);
}

DWORD WINAPI RunWork(void* param) {
    auto* result = static_cast<WorkResult*>(param);
    g_result = result;
    try {
        (*result->Work)();
    } catch (...) {
        result->Thrown = std::current_exception();
    }
    g_result = nullptr;
    return 0;
}

// The operator's text for a structured exception that ended the work's thread.
std::wstring Describe(const WorkResult& r) {
    wchar_t number[64];
    wsprintfW(number, L"0x%08lX", static_cast<unsigned long>(r.Code));
    if (IsDelayLoadFailure(r.Code) && r.Module[0]) {
        std::wstring module;
        for (const char* p = r.Module; *p; ++p) module += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        const wchar_t* what = r.Code == VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND)
                                  ? L"Cannot load "
                                  : L"A function is missing in ";
        return win32::WithSystemText(what + module, r.ModuleError) + L" (exception " + number + L")";
    }
    wchar_t where[64];
    wsprintfW(where, L" at %p", r.Address);
    return win32::WithSystemText(L"The detach's thread ended with exception " + std::wstring(number) + where, r.Code,
                                 ::GetModuleHandleW(L"ntdll.dll"));
}

void DropInput() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | (BusyWait::InputMask() << 16))) {
    }
}

bool PointerOver(HWND window) {
    POINT p{};
    if (!::GetCursorPos(&p)) return false;
    HWND under = ::WindowFromPoint(p);
    return under && ::GetAncestor(under, GA_ROOT) == window;
}

}  // namespace

UINT BusyWait::InputMask() {
    static const UINT mask = [] {
        UINT m = QS_MOUSE | QS_KEY | QS_RAWINPUT;
        if (::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetPointerType")) m |= kQsTouch | kQsPointer;
        return m;
    }();
    return mask;
}

// Paints, and the posted messages that are not input: COM's calls into this thread
// (a screen reader's, say) come as posted messages to its hidden window and are answered
// meanwhile. Input that comes as posted messages rather than through the input queue (a
// key message posted by another program, say) is input all the same. A WM_QUIT is kept for
// after the wait: posted again now, it would wake the wait at once, every time round, and
// then end the message box that follows before anyone saw it.
void BusyWait::DispatchPaintAndPosted() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_POSTMESSAGE)) {
        if (msg.message == WM_QUIT)
            quit_ = static_cast<int>(msg.wParam);
        else if (!host::IsInputMessage(msg.message))
            ::DispatchMessageW(&msg);
    }
}

BusyWait::BusyWait(HWND window, const wchar_t* reason) : window_(window), hold_(window) {
    if (PointerOver(window)) {
        previous_ = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        cursorSet_ = true;
    }
    // Without a reason Windows still lists the window as keeping the log-off waiting;
    // failing here changes nothing else.
    reasonSet_ = reason && ::ShutdownBlockReasonCreate(window, reason);
}

BusyWait::~BusyWait() {
    if (reasonSet_) ::ShutdownBlockReasonDestroy(window_);
    if (cursorSet_) ::SetCursor(previous_);
}

void BusyWait::Run(const std::function<void()>& work) {
    WorkResult result;
    result.Work = &work;
    const win32::UniqueKernelHandle abandoned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!abandoned) throw host::Error(host::ErrorNumber::Platform, L"Cannot make an event for the work");
    result.Abandoned = abandoned.get();
    g_previousFilter = ::SetUnhandledExceptionFilter(&LastChanceFilter);
    struct RestoreFilter {
        ~RestoreFilter() { ::SetUnhandledExceptionFilter(g_previousFilter); }
    } restore;
    win32::UniqueKernelHandle worker(::CreateThread(nullptr, 0, &RunWork, &result, 0, nullptr));
    if (!worker) throw host::Error(host::ErrorNumber::Platform, L"Cannot start a thread for the work");
    // The work has ended when its thread has, or when the thread has stopped for good.
    const HANDLE ended[] = {worker.get(), abandoned.get()};
    for (;;) {
        // PeekMessageW answers the messages other threads and programs send meanwhile.
        DropInput();
        DispatchPaintAndPosted();
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(2, ended, kPollMs,
                                                         InputMask() | QS_PAINT | QS_SENDMESSAGE | QS_POSTMESSAGE, 0);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + 1) break;
        if (woke == WAIT_FAILED) {
            // No more answering: the window waits for the work without pumping, which is
            // still better than spinning, and the work owns `result` until it ends.
            ::WaitForMultipleObjects(2, ended, FALSE, INFINITE);
            break;
        }
    }
    // Input that came in the last moment goes the same way.
    DropInput();
    if (result.Structured) throw WorkAbandoned(Describe(result));
    if (result.Thrown) std::rethrow_exception(result.Thrown);
}

}  // namespace app
