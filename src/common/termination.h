#pragma once

#include "common/non_copyable.h"

namespace kestrane {

// The termination signals (SIGHUP, SIGINT, SIGQUIT, SIGTERM) end the work under way as Cancel does,
// then the program: its exit status is then 128 + the signal's number.
//
// Once take_termination_signals() ran, a signal that arrives while no TerminationAsCancel lives
// ends the program at once (nothing of ours is on the disk then but unnamed temporary files). One
// that arrives while some live is only noted: the work sees it as a Cancel at its next block
// (Progress::cancelled()), ends its archiver, removes its temporary files, and when the outermost
// TerminationAsCancel goes the program exits. The handler does nothing but note the signal.
void take_termination_signals();

// The signal noted since the start, or 0.
int termination_signal();

// The exit status that a noted signal gives the program: 128 + its number.
int exit_status_for_signal(int signal);

// Work that cleans up after itself when it is cancelled. Placed where the work's temporary files
// and child processes are all owned by objects created after it, so that they are gone when it goes.
class TerminationAsCancel : NonCopyable {
public:
    TerminationAsCancel();
    ~TerminationAsCancel();
};

} // namespace kestrane
