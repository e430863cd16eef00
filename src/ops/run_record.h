#pragma once

#include "common/io_policy.h"
#include "format/tagged_header_reader.h"
#include "format/tagged_layout.h" // the tags an output's header fields are compared with
#include "ops/front_end.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// What an input is to the run that read it.
enum class InputRole {
    Source,  // the file or directory wrapped, or the wrapped file encrypted
    KeyFile, // a company key file
    Package, // an encrypted package listed into a package file
};

struct RecordedInput {
    std::string path;
    InputRole role = InputRole::Source;
};

// What one command-line run read and what it put in place, for its manifest. The front end makes
// one and hands it to the operation; the operation declares its inputs and outputs before it
// writes anything and reports each output once it is committed. The manifest is itself an output
// of the run: it may be none of the others and none of the inputs.
class RunRecord {
public:
    explicit RunRecord(std::string manifest_path) : m_manifest_path(std::move(manifest_path)) {}

    const std::string& manifest_path() const { return m_manifest_path; }
    // Keeps the inputs (once each). False, after "Output would overwrite an input[path:MANIFEST]",
    // when the manifest is one of `outputs` or `inputs` or lies inside an input directory.
    bool plan(FrontEnd& front, const std::vector<std::string>& outputs, const std::vector<RecordedInput>& inputs);
    void committed(const std::string& output) { m_outputs.push_back(output); }

    const std::vector<RecordedInput>& inputs() const { return m_inputs; }
    const std::vector<std::string>& outputs() const { return m_outputs; }

private:
    std::string m_manifest_path;
    std::vector<RecordedInput> m_inputs;
    std::vector<std::string> m_outputs;
};

// The same for an operation that may run without a record: true, and nothing kept, without one.
bool plan_run(FrontEnd& front, RunRecord* record, const std::vector<std::string>& outputs,
              const std::vector<RecordedInput>& inputs);
void record_committed(RunRecord* record, const std::string& output);

// A recorded file as it is once the run's outputs are in place.
struct RecordedFile {
    std::string path;
    bool directory = false;
    uint64_t size = 0;  // files only
    std::string sha256; // files only: lower-case hexadecimal
};

struct RunFacts {
    struct Input {
        RecordedFile file;
        InputRole role;
    };
    struct Output {
        RecordedFile file;
        HeaderSummary header;
    };
    std::vector<Input> inputs;
    std::vector<Output> outputs;
};

// Reads every recorded file once: its size, its SHA-256 and, for an output, its header. Nothing
// when one of them cannot be read (a directory input is not read: it is named only).
std::optional<RunFacts> gather_run_facts(const RunRecord& record);

// Puts the manifest in place atomically (written beside, renamed over): false when it could not be
// written, and an existing file stays as it was.
bool commit_manifest(const std::string& path, const std::string& document, IoPolicy& io = system_io());

} // namespace kestrane
