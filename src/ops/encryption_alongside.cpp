#include "ops/encryption_alongside.h"

#include "common/resource_failures.h"
#include "crypt/encrypted_package.h"

#include <new>
#include <system_error>

namespace kestrane {

EncryptionAlongside::EncryptionAlongside(FrontEnd& front, IoPolicy& io) : m_front(front), m_io(io) {}

EncryptionAlongside::~EncryptionAlongside()
{
    for (PackageOrder& order : m_orders)
        cleanse_key(order.key);
}

bool EncryptionAlongside::prepare(const std::string& key_file, const std::string& output_path)
{
    return prepare(load_company_key_file(key_file), output_path);
}

bool EncryptionAlongside::prepare(const CompanyKeyFile& key_file, const std::string& output_path)
{
    return prepare(std::vector<CompanyOutput>{{key_file, output_path}});
}

bool EncryptionAlongside::prepare(const std::vector<CompanyOutput>& companies)
{
    std::vector<PackageOrder> orders;
    for (const CompanyOutput& company : companies) {
        const CompanyKeyFile& key_file = company.key_file;
        if (!key_file.read() || key_file.company_name.size() > package::kMaxCompanyName)
            return false;
        orders.push_back({key_file.company_name, key_file.key, company.output});
    }
    m_companies = companies;
    m_orders = std::move(orders);
    m_prepared = true;
    return true;
}

TaggedFileWriter::Observer EncryptionAlongside::observer()
{
    if (!m_prepared)
        return {};
    return [this](const uint8_t* data, size_t count) { observe(data, count); };
}

void EncryptionAlongside::observe(const uint8_t* data, size_t count)
{
    if (m_ran_short || !m_prepared)
        return;
    // The wrapped file goes on without its packages: its own writing is not theirs to fail.
    // Its threads start once the wrapped file's own have started: the wrap goes first.
    try {
        if (!m_follower)
            m_follower = std::make_unique<PackageFollower>(
                std::move(m_orders),
                [](std::string_view type_tag) {
                    return use_new_encrypt_mode(std::string(type_tag)) ? EncryptMode::New : EncryptMode::Basic;
                },
                m_io);
        m_follower->observe(data, count);
    } catch (const std::bad_alloc&) {
        m_ran_short = true;
    } catch (const std::system_error&) {
        m_ran_short = true;
    }
    if (m_ran_short)
        m_follower.reset(); // discards what the packages had written
}

void EncryptionAlongside::abandon()
{
    m_follower.reset();
    m_prepared = false;
}

PackagesOutcome EncryptionAlongside::finish_packages()
{
    PackagesOutcome outcome{kPackageRefused, std::nullopt};
    if (m_ran_short)
        outcome.result = kEncryptFileFailed;
    else if (m_follower)
        outcome.result = or_cannot_create(kEncryptFileFailed, [&] {
            outcome = m_follower->finish();
            return outcome.result;
        });
    return outcome;
}

int EncryptionAlongside::finish()
{
    return report_wrapped_file_encryption(m_front, finish_packages().result, output_path());
}

CompaniesEncryption EncryptionAlongside::finish_all()
{
    return report_companies_encryption(m_front, finish_packages(), m_companies);
}

} // namespace kestrane
