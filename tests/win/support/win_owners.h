// Owners of the Windows handles the test supports open themselves and win32/win_handles.h
// has no owner for: sockets, an instance of base::UniqueHandle like every other owner. Files
// are win32::UniqueFile's, named here too for the tests that open them.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "base/unique_handle.h"
#include "win32/win_handles.h"

namespace dorvane::test {

using win32::UniqueFile;

struct SocketTraits {
    static SOCKET Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(SOCKET s) noexcept { ::closesocket(s); }
};
using UniqueSocket = base::UniqueHandle<SOCKET, SocketTraits>;

}  // namespace dorvane::test
