// Sole owner of a POSIX file descriptor: base::UniqueHandle, closing it once, on
// destruction or reset().
#pragma once

#include <unistd.h>

#include "base/unique_handle.h"

namespace standin {

struct FdTraits {
    static int Invalid() noexcept { return -1; }
    static void Close(int fd) noexcept { ::close(fd); }
};

using UniqueFd = base::UniqueHandle<int, FdTraits>;

}  // namespace standin
