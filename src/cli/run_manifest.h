#pragma once

#include "cli/command_line.h"
#include "ops/run_record.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrane {

// The manifest of one -wrapping, -key or -pack run (-manifest FILE): a JSON document of the
// program, its sealing key, the time, and every input and output with its size and SHA-256.
class RunManifest {
public:
    // Nothing, after the message that says why, when SOURCE_DATE_EPOCH is set but is no time, or
    // the path cannot name a file to write (not UTF-8; a directory, FIFO or device is there):
    // checked before the operation runs. Otherwise the time is SOURCE_DATE_EPOCH, else now.
    static std::optional<RunManifest> start(FrontEnd& front, ProgramKind program, const std::string& path);

    // What the operation feeds.
    RunRecord* record() { return &m_record; }

    // After the operation succeeded: reads every recorded file and puts the manifest in place.
    // False, after "Could not write manifest[path:%s]", when a file could not be read or the
    // manifest not written.
    bool write(FrontEnd& front, IoPolicy& io = system_io()) const;

private:
    RunManifest(ProgramKind program, const std::string& path, int64_t time)
        : m_program(program), m_record(path), m_time(time)
    {}

    ProgramKind m_program;
    RunRecord m_record;
    int64_t m_time; // seconds since 1970-01-01T00:00:00Z
};

} // namespace kestrane
