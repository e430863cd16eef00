#pragma once

#include "e2e/e2e_support.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrane::test {

using Lines = std::vector<std::string>;

// Every file and folder below a root with its bytes ("<folder>" for folders, "<special>" for
// FIFOs and the like), names as raw bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot_of(const std::string& root);

// Names that differ between two snapshots, for a readable failure.
std::string differences(const Snapshot& before, const Snapshot& after);

// Faults met by the built program on the command line: every failure must end with its message and
// exit status 1 and leave the work folder as it was.
class Faults : public CommandLineProgramTest {
protected:
    // The environment run() gives the program, with `extra` variables added.
    ProcessOptions options(std::vector<std::pair<std::string, std::string>> extra = {}) const;

    // Runs the program and expects a failure: exit status 1, exactly these lines, and the work
    // folder exactly as it was.
    void expect_clean_failure(const std::vector<std::string>& arguments, const Lines& lines,
                              const std::function<ProcessResult(const std::vector<std::string>&)>& runner = {});
};

} // namespace kestrane::test
