#include "settings/encrypt_operation.h"

#include "common/messages.h"
#include "common/text_format.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"
#include "format/tagged_file.h"
#include "settings/settings_store.h"

#include <QString>

namespace kestrane {

bool use_new_encrypt_mode(const std::string& type_tag)
{
    return QString::fromStdString(type_tag).compare(QLatin1String(tags::kRaw.data(), 4), Qt::CaseInsensitive) == 0
        || read_encrypt_mode_setting() != 0;
}

namespace {

int report_encryption(int result, const std::string& output_path)
{
    if (result >= 0) {
        show_message(format_text("Success to encrypt file. [path:%s]", output_path.c_str()));
        return 1;
    }
    show_message(format_text("encrypt_package() Failed with error [%d]", result));
    return -1;
}

} // namespace

int encrypt_wrapped_file(const std::string& key_file, const std::string& input_path,
                         const std::string& output_path)
{
    CompanyKey key{};
    std::string company_name;
    if (read_company_key_file(key_file, key, company_name) < 0) {
        show_message("Could not load vid from vid.wrp");
        return -1;
    }
    // A longer name would run over the version field of the package.
    if (company_name.size() > package::kMaxCompanyName) {
        show_message("Company name error");
        return -1;
    }
    set_company_key(key);

    HeaderSummary summary;
    read_header_summary(input_path, summary);
    const int result = encrypt_package(input_path, output_path, company_name, use_new_encrypt_mode(summary.type_tag));
    return report_encryption(result, output_path);
}

EncryptionAlongside::EncryptionAlongside() = default;

EncryptionAlongside::~EncryptionAlongside() = default;

bool EncryptionAlongside::prepare(const std::string& key_file, const std::string& output_path)
{
    CompanyKey key{};
    std::string company_name;
    if (read_company_key_file(key_file, key, company_name) < 0 || company_name.size() > package::kMaxCompanyName)
        return false;
    set_company_key(key);
    m_output_path = output_path;
    m_follower = std::make_unique<PackageFollower>(m_output_path, company_name, [](std::string_view type_tag) {
        return use_new_encrypt_mode(std::string(type_tag)) ? EncryptMode::New : EncryptMode::Basic;
    });
    return true;
}

TaggedFileWriter::Observer EncryptionAlongside::observer()
{
    if (!m_follower)
        return {};
    return [this](const uint8_t* data, size_t count) { m_follower->observe(data, count); };
}

int EncryptionAlongside::finish()
{
    return report_encryption(m_follower ? m_follower->finish() : kPackageRefused, m_output_path);
}

} // namespace kestrane
