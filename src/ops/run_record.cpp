#include "ops/run_record.h"

#include "common/atomic_output_file.h"
#include "common/paths.h"
#include "format/sha256.h"
#include "ops/input_protection.h"

#include <QDir>

#include <algorithm>

namespace kestrane {
namespace {

std::optional<RecordedFile> recorded_file(const std::string& path, bool may_be_directory)
{
    if (may_be_directory && is_directory(path))
        return RecordedFile{path, true, 0, {}};
    const std::optional<FileDigest> digest = sha256_of_file(path);
    if (!digest)
        return std::nullopt;
    return RecordedFile{path, false, digest->size, digest->sha256};
}

// A key file is named as typed: the manifest names it from the current directory. Every other
// path arrives full, made so as the system resolves it, and stays as it is.
std::string full_path_of(const std::string& path)
{
    const QString named = to_qpath(path);
    if (named.isEmpty() || !QDir::isRelativePath(named))
        return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(named)).toStdString();
}

} // namespace

bool RunRecord::plan(FrontEnd& front, const std::vector<std::string>& outputs, const std::vector<RecordedInput>& inputs)
{
    std::vector<std::string> taken = outputs;
    for (const RecordedInput& input : inputs)
        taken.push_back(input.path);
    if (!outputs_spare_inputs(front, {m_manifest_path}, taken))
        return false;
    for (const RecordedInput& input : inputs) {
        if (input.role == InputRole::Source && !outputs_outside_folder(front, {m_manifest_path}, input.path))
            return false;
    }
    for (const RecordedInput& input : inputs) {
        const std::string path = full_path_of(input.path);
        const bool known =
            std::any_of(m_inputs.begin(), m_inputs.end(), [&](const RecordedInput& kept) { return kept.path == path; });
        if (!known)
            m_inputs.push_back({path, input.role});
    }
    return true;
}

bool plan_run(FrontEnd& front, RunRecord* record, const std::vector<std::string>& outputs,
              const std::vector<RecordedInput>& inputs)
{
    return !record || record->plan(front, outputs, inputs);
}

void record_committed(RunRecord* record, const std::string& output)
{
    if (record)
        record->committed(output);
}

std::optional<RunFacts> gather_run_facts(const RunRecord& record)
{
    RunFacts facts;
    for (const RecordedInput& input : record.inputs()) {
        std::optional<RecordedFile> file = recorded_file(input.path, input.role == InputRole::Source);
        if (!file)
            return std::nullopt;
        facts.inputs.push_back({std::move(*file), input.role});
    }
    for (const std::string& output : record.outputs()) {
        std::optional<RecordedFile> file = recorded_file(output, false);
        HeaderSummary header;
        if (!file || read_header_summary(output, header) != kSummaryRead)
            return std::nullopt;
        facts.outputs.push_back({std::move(*file), std::move(header)});
    }
    return facts;
}

bool commit_manifest(const std::string& path, const std::string& document, IoPolicy& io)
{
    AtomicOutputFile output(path, io); // discards, when not committed, whatever it wrote
    return output.open() && output.write(document.data(), document.size()) && output.commit();
}

} // namespace kestrane
