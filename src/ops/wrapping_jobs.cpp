#include "ops/wrapping_jobs.h"

#include "common/resource_failures.h"
#include "ops/encryption.h"
#include "ops/output_names.h"
#include "wrap/source_checks.h"
#include "wrap/wrapping.h"

namespace kestrane {

int wrap_source(const WrapRequest& request)
{
    return or_cannot_create(kWrapCannotCreate, [&] {
        return wrap_file(request.type, request.version, request.source, request.destination);
    });
}

std::optional<std::string> read_image_version(unsigned type, const std::string& source)
{
    SourceInspection inspection = inspect_source(static_cast<int>(type), source);
    if (!inspection.ok)
        return std::nullopt;
    return std::move(inspection.version);
}

WrapThenEncrypt::WrapThenEncrypt(WrapRequest wrap, EncryptionRequest encryption)
    : m_wrap(std::move(wrap)), m_key_file(load_company_key_file(encryption.key_file)),
      m_output(encryption.output.empty() ? encrypted_file_path(m_wrap.destination, m_key_file.company_name)
                                         : std::move(encryption.output))
{}

int WrapThenEncrypt::wrap()
{
    return or_cannot_create(kWrapCannotCreate, [this] {
        m_alongside_ready = m_alongside.prepare(m_key_file, m_output);
        return wrap_file(m_wrap.type, m_wrap.version, m_wrap.source, m_wrap.destination, m_alongside.observer());
    });
}

int WrapThenEncrypt::encrypt()
{
    return or_cannot_create(kEncryptionFailed, [this] {
        return m_alongside_ready ? m_alongside.finish()
                                 : encrypt_wrapped_file(m_key_file, m_wrap.destination, m_output);
    });
}

} // namespace kestrane
