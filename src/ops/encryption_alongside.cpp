#include "ops/encryption_alongside.h"

#include "common/resource_failures.h"
#include "crypt/encrypted_package.h"
#include "ops/encryption.h"

#include <new>
#include <system_error>

namespace kestrane {

EncryptionAlongside::EncryptionAlongside() = default;

EncryptionAlongside::~EncryptionAlongside() = default;

bool EncryptionAlongside::prepare(const std::string& key_file, const std::string& output_path)
{
    return prepare(load_company_key_file(key_file), output_path);
}

bool EncryptionAlongside::prepare(const CompanyKeyFile& key_file, const std::string& output_path)
{
    if (!key_file.read() || key_file.company_name.size() > package::kMaxCompanyName)
        return false;
    set_company_key(key_file.key);
    m_output_path = output_path;
    m_follower = std::make_unique<PackageFollower>(m_output_path, key_file.company_name, [](std::string_view type_tag) {
        return use_new_encrypt_mode(std::string(type_tag)) ? EncryptMode::New : EncryptMode::Basic;
    });
    return true;
}

TaggedFileWriter::Observer EncryptionAlongside::observer()
{
    if (!m_follower)
        return {};
    return [this](const uint8_t* data, size_t count) { observe(data, count); };
}

void EncryptionAlongside::observe(const uint8_t* data, size_t count)
{
    if (m_ran_short)
        return;
    // The wrapped file goes on without its package: its own writing is not the package's to fail.
    try {
        m_follower->observe(data, count);
    } catch (const std::bad_alloc&) {
        m_ran_short = true;
    } catch (const std::system_error&) {
        m_ran_short = true;
    }
    if (m_ran_short)
        m_follower.reset(); // discards what the package had written
}

void EncryptionAlongside::abandon()
{
    m_follower.reset();
}

int EncryptionAlongside::finish()
{
    int result = kPackageRefused;
    if (m_ran_short)
        result = kEncryptFileFailed;
    else if (m_follower)
        result = or_cannot_create(kEncryptFileFailed, [this] { return m_follower->finish(); });
    return report_wrapped_file_encryption(result, m_output_path);
}

} // namespace kestrane
