#pragma once

#include "common/non_copyable.h"

#include <utility>

namespace kestrane {

// The desktop program runs one job (a wrap, an encryption, a packing, a key generation) at a time.
// A long job's progress window handles events while the job goes on; whatever reaches a dialog
// meanwhile starts nothing, and no dialog closes until the job has ended.

bool job_running();

// Marks a job as running while it lives.
class RunningJob : NonCopyable {
public:
    RunningJob();
    ~RunningJob();
};

// Runs a job: its result.
template <typename Job> auto run_job(Job&& job)
{
    const RunningJob running;
    return std::forward<Job>(job)();
}

// A handler of `owner` that does nothing while a job runs: what the dialogs connect their buttons
// and commands to.
template <typename Owner> auto when_idle(Owner* owner, void (Owner::*handler)())
{
    return [owner, handler] {
        if (!job_running())
            (owner->*handler)();
    };
}

} // namespace kestrane
