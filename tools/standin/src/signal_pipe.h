// Turns chosen signals into bytes on a pipe that poll() can watch, so a server loop
// handles them in its own time. SIGPIPE is ignored as well: a closed peer is an error
// on that socket, not the end of the process. One per process at a time; the default
// handlers come back when it is destroyed.
#pragma once

#include <initializer_list>
#include <vector>

#include "tools/standin/src/unique_fd.h"

namespace standin {

class SignalPipe {
public:
    explicit SignalPipe(std::initializer_list<int> signals);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // False when the pipe could not be made (then no handler was installed).
    bool Valid() const { return static_cast<bool>(read_); }
    int ReadFd() const { return read_.get(); }
    // The next signal that arrived, or 0 when none is waiting.
    int Next() const;

private:
    UniqueFd read_, write_;
    std::vector<int> signals_;
};

}  // namespace standin
