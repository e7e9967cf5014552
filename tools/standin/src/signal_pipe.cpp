#include "tools/standin/src/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace standin {

namespace {

// Write end of the live pipe; the handler only borrows it.
int g_signalWriteFd = -1;

void OnSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    const int saved = errno;
    [[maybe_unused]] ssize_t n = ::write(g_signalWriteFd, &b, 1);
    errno = saved;
}

}  // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signals) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_.reset(fds[0]);
    write_.reset(fds[1]);
    g_signalWriteFd = write_.get();
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : signals) {
        ::sigaction(sig, &sa, nullptr);
        signals_.push_back(sig);
    }
    ::signal(SIGPIPE, SIG_IGN);
}

SignalPipe::~SignalPipe() {
    for (int sig : signals_) ::signal(sig, SIG_DFL);
    if (Valid()) g_signalWriteFd = -1;
}

int SignalPipe::Next() const {
    unsigned char sig = 0;
    return ::read(read_.get(), &sig, 1) == 1 ? sig : 0;
}

}  // namespace standin
