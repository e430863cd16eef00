#pragma once

#include <cstddef>

namespace kestrane {

enum class OutputStep { Synced, Renamed };

// The I/O an operation does, handed from the operation down to every output it writes and every
// thread it starts: the real system by default (system_io()); a test's policy may refuse writes,
// as a full disk does, or thread starts, as a system without threads to give does, and step into
// the commit of an output.
class IoPolicy {
public:
    virtual ~IoPolicy() = default;
    // Whether `count` more bytes may be written to an output; a refused write fails as on a full disk.
    virtual bool may_write(size_t /*count*/) { return true; }
    // Whether a thread may start; a refused start fails as when the system has no thread left.
    virtual bool may_start_thread() { return true; }
    // Told each step of an output's commit that makes it durable, in the order they happen.
    virtual void step_done(OutputStep) {}
    // Called once termination signals are held, before an output is renamed into place.
    virtual void before_rename() {}
};

// The real system: every write and thread start is attempted.
IoPolicy& system_io();

} // namespace kestrane
