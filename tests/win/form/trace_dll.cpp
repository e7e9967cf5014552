// A DLL that says it was loaded: on attach it creates NAME.loaded beside its own file
// (NAME being the file name it was loaded under), whichever process loads it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    ::lstrcpyW(path + n, L".loaded");
    const HANDLE trace = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (trace != INVALID_HANDLE_VALUE) ::CloseHandle(trace);
    return TRUE;
}
