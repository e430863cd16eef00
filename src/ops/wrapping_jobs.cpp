#include "ops/wrapping_jobs.h"

#include "common/resource_failures.h"
#include "common/text_format.h"
#include "ops/encryption.h"
#include "ops/input_protection.h"
#include "ops/output_names.h"
#include "wrap/source_checks.h"
#include "wrap/wrapping.h"

namespace kestrane {

namespace {

// Shows the wrapping's message and returns its code.
int report_wrapping(FrontEnd& front, const Outcome& outcome)
{
    front.show_message(outcome.message);
    return outcome.code;
}

// A wrapping that finds the system short of memory or threads tells nothing of its own.
int wrap_and_report(FrontEnd& front, const WrapRequest& request, IoPolicy& io)
{
    return report_wrapping(
        front, wrap_file(request.type, request.version, request.source, request.destination, {}, io, front.progress()));
}

} // namespace

int wrap_source(FrontEnd& front, const WrapRequest& request, RunRecord* record, IoPolicy& io)
{
    if (!outputs_spare_inputs(front, {request.destination}, {request.source})
        || !plan_run(front, record, {request.destination}, {{request.source, InputRole::Source}}))
        return kWrapRefused;
    const int result = or_cannot_create(kWrapCannotCreate, [&] { return wrap_and_report(front, request, io); });
    if (result > 0)
        record_committed(record, request.destination);
    return result;
}

SourceInspection inspect_wrapping_source(FrontEnd& front, int type, const std::string& source)
{
    SourceInspection inspection = inspect_source(type, source);
    if (!inspection.ok)
        front.show_message(inspection.message);
    return inspection;
}

bool check_wrapping_source_kind(FrontEnd& front, const std::string& source, SourceKind expected)
{
    if (check_source_kind(source, expected))
        return true;
    front.show_message(format_text("Path[%s] is invalid", source.c_str()));
    return false;
}

std::optional<std::string> read_image_version(FrontEnd& front, unsigned type, const std::string& source)
{
    SourceInspection inspection = inspect_wrapping_source(front, static_cast<int>(type), source);
    if (!inspection.ok)
        return std::nullopt;
    return std::move(inspection.version);
}

WrapThenEncrypt::WrapThenEncrypt(FrontEnd& front, WrapRequest wrap, EncryptionRequest encryption, RunRecord* record,
                                 IoPolicy& io)
    : m_front(front), m_wrap(std::move(wrap)), m_alongside(front, io), m_record(record), m_io(io)
{
    CompanyKeyFile key_file = load_company_key_file(encryption.key_file);
    std::string output = encryption.output.empty() ? encrypted_file_path(m_wrap.destination, key_file.company_name)
                                                   : std::move(encryption.output);
    m_companies.push_back({std::move(key_file), std::move(output)});
}

WrapThenEncrypt::WrapThenEncrypt(FrontEnd& front, WrapRequest wrap, std::vector<CompanyKeyFile> key_files,
                                 RunRecord* record, IoPolicy& io)
    : m_front(front), m_wrap(std::move(wrap)), m_alongside(front, io), m_record(record), m_io(io)
{
    for (CompanyKeyFile& key_file : key_files) {
        std::string output = encrypted_file_path(m_wrap.destination, key_file.company_name);
        m_companies.push_back({std::move(key_file), std::move(output)});
    }
}

const CompanyKeyFile* WrapThenEncrypt::unread_key_file() const
{
    for (const CompanyOutput& company : m_companies) {
        if (!company.key_file.read())
            return &company.key_file;
    }
    return nullptr;
}

int WrapThenEncrypt::key_file_result() const
{
    const CompanyKeyFile* unread = unread_key_file();
    return unread ? unread->result : 1;
}

const std::string& WrapThenEncrypt::key_file_failed() const
{
    static const std::string none;
    const CompanyKeyFile* unread = unread_key_file();
    return unread ? unread->path : none;
}

int WrapThenEncrypt::wrap()
{
    // Every output is checked before the wrapped file is written; the packages are made from it.
    std::vector<std::string> outputs = {m_wrap.destination};
    std::vector<std::string> inputs = {m_wrap.source};
    std::vector<RecordedInput> recorded = {{m_wrap.source, InputRole::Source}};
    std::vector<std::string> packages;
    for (const CompanyOutput& company : m_companies) {
        outputs.push_back(company.output);
        packages.push_back(company.output);
        inputs.push_back(company.key_file.path);
        recorded.push_back({company.key_file.path, InputRole::KeyFile});
    }
    if (!outputs_spare_inputs(m_front, outputs, inputs)
        || !outputs_spare_inputs(m_front, packages, {m_wrap.destination})
        || !plan_run(m_front, m_record, outputs, recorded))
        return kWrapRefused;
    const int result = or_cannot_create(kWrapCannotCreate, [this] {
        m_alongside_ready = m_alongside.prepare(m_companies);
        return m_alongside_ready ? wrap_with_package_alongside() : wrap_alone();
    });
    if (result > 0)
        record_committed(m_record, m_wrap.destination);
    return result;
}

int WrapThenEncrypt::wrap_alone()
{
    return wrap_and_report(m_front, m_wrap, m_io);
}

// The package written alongside takes room of its own. When the wrapped file found none, the
// package is given up and the wrap runs again alone, so that the wrapped file is made whenever it
// fits by itself; the encryption then follows as after any wrap. The first try's message is shown
// only when that try stands.
int WrapThenEncrypt::wrap_with_package_alongside()
{
    const Outcome outcome = wrap_file(m_wrap.type, m_wrap.version, m_wrap.source, m_wrap.destination,
                                      m_alongside.observer(), m_io, m_front.progress());
    if (outcome.code == kWrapCannotCreate) {
        m_alongside.abandon();
        m_alongside_ready = false;
        return wrap_alone();
    }
    return report_wrapping(m_front, outcome);
}

int WrapThenEncrypt::encrypt()
{
    const CompanyOutput& company = m_companies.front();
    const int result = or_cannot_create(kEncryptionFailed, [&] {
        return m_alongside_ready
            ? m_alongside.finish()
            : encrypt_wrapped_file(m_front, company.key_file, m_wrap.destination, company.output, nullptr, m_io);
    });
    if (result == kEncrypted)
        record_committed(m_record, company.output);
    return result;
}

CompaniesEncryption WrapThenEncrypt::encrypt_all()
{
    CompaniesEncryption outcome;
    or_cannot_create(kEncryptionFailed, [&] {
        outcome = m_alongside_ready ? m_alongside.finish_all()
                                    : encrypt_for_companies(m_front, m_companies, m_wrap.destination, nullptr, m_io);
        return outcome.result;
    });
    for (const std::string& output : outcome.committed)
        record_committed(m_record, output);
    return outcome;
}

} // namespace kestrane
