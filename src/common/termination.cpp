#include "common/termination.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestrane {
namespace {

std::atomic<int> g_signal{0};
std::atomic<int> g_cancellable_work{0};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler touches only lock-free atomics");

[[noreturn]] void end_program(int signal)
{
    std::fflush(nullptr);
    std::_Exit(exit_status_for_signal(signal));
}

#ifndef _WIN32
extern "C" void note_termination_signal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    if (g_cancellable_work.load() == 0)
        _exit(exit_status_for_signal(signal)); // async-signal-safe, unlike std::exit
}
#endif

} // namespace

void take_termination_signals()
{
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = note_termination_signal;
    sigfillset(&action.sa_mask);
    // Waits in poll() return early all the same (it is never restarted) and look at the signal.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        struct sigaction previous {};
        // A signal ignored when the program started (nohup) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
#endif
}

int termination_signal()
{
    return g_signal.load();
}

int exit_status_for_signal(int signal)
{
    return 128 + signal;
}

TerminationAsCancel::TerminationAsCancel()
{
    ++g_cancellable_work;
}

TerminationAsCancel::~TerminationAsCancel()
{
    if (--g_cancellable_work == 0 && g_signal.load() != 0)
        end_program(g_signal.load());
}

} // namespace kestrane
