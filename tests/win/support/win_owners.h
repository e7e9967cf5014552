// Owners of the Windows handles the test supports open themselves and win32/win_handles.h
// has no owner for: files (whose empty value is INVALID_HANDLE_VALUE, not null) and
// sockets. Instances of base::UniqueHandle, like every other owner.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "base/unique_handle.h"

namespace dorvane::test {

struct FileTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using UniqueFile = base::UniqueHandle<HANDLE, FileTraits>;

struct SocketTraits {
    static SOCKET Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(SOCKET s) noexcept { ::closesocket(s); }
};
using UniqueSocket = base::UniqueHandle<SOCKET, SocketTraits>;

}  // namespace dorvane::test
