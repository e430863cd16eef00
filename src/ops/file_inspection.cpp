#include "ops/file_inspection.h"

#include "common/paths.h"
#include "crypt/encrypted_package.h"
#include "ops/company_key.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <new>

namespace kestrane {
namespace {

// A check reads the file in blocks of its own: without the memory for them it could not read it.
template <typename Check> IntegrityCheck run_check(Check check)
{
    try {
        return check();
    } catch (const std::bad_alloc&) {
        return IntegrityCheck::Unreadable;
    }
}

bool is_tagged_file(const std::string& path, const HeaderSummary& summary)
{
    static constexpr std::array kTypeTags = {tags::kWeb,      tags::kAddOn,      tags::kBrand,     tags::kOcx,
                                             tags::kFirmware, tags::kBootloader, tags::kDome,      tags::kEmergency,
                                             tags::kRaw,      tags::kPackage,    tags::kCompanyKey};
    return QFileInfo(to_qpath(path)).size() >= static_cast<qint64>(layout::kHeaderSize)
        && std::find(kTypeTags.begin(), kTypeTags.end(), summary.type_tag) != kTypeTags.end();
}

} // namespace

bool FileInspection::passed() const
{
    if (outcome != Outcome::Inspected)
        return false;
    switch (kind) {
    case Kind::Plain:
        return trailer == IntegrityCheck::Passes;
    case Kind::Package:
        return body_length && (!tag || *tag == IntegrityCheck::Passes);
    case Kind::Other:
        break;
    }
    return true;
}

FileInspection inspect_file(const std::string& path, const std::optional<std::string>& key_file)
{
    FileInspection inspection;
    CompanyKeyFile key;
    if (key_file) {
        key = load_company_key_file(*key_file);
        if (!key.read()) {
            inspection.outcome = FileInspection::Outcome::KeyFileInvalid;
            return inspection;
        }
    }
    if (!is_regular_file(path) || read_header_summary(path, inspection.summary) != kSummaryRead) {
        inspection.outcome = FileInspection::Outcome::FileInvalid;
        return inspection;
    }
    if (!is_tagged_file(path, inspection.summary)) {
        inspection.outcome = FileInspection::Outcome::NotTaggedFile;
        return inspection;
    }
    const std::string& attribute = inspection.summary.attribute_tag;
    if (attribute == tags::kPlain) {
        inspection.kind = FileInspection::Kind::Plain;
        inspection.trailer = run_check([&] { return check_md5_trailer(path); });
    } else if (attribute == tags::kEncryptBasic || attribute == tags::kEncryptNew) {
        inspection.kind = FileInspection::Kind::Package;
        inspection.body_length = package_body_length(path);
        if (inspection.body_length && key_file)
            inspection.tag = run_check([&] { return check_package_tag(path, key.key); });
    }
    return inspection;
}

} // namespace kestrane
