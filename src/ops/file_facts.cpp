#include "ops/file_facts.h"

#include "common/input_file.h"
#include "common/paths.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"
#include "format/little_endian.h"
#include "format/tagged_layout.h"
#include "ops/company_key.h"

#include <QFileInfo>

#include <openssl/crypto.h>

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

// Where the payload of a package file lies, and whether the length field in front of it fits the
// room there is.
struct PayloadRegion {
    uint64_t offset = 0;
    uint64_t length = 0;
    bool fits = false;
};

// A plain package file: the payload after the header. An encrypted one carries the package file
// unsealed in its body: from its length field on ("ENCR"), or whole ("ENC1").
std::optional<PayloadRegion> package_payload(InputFile& file, const FileFacts& facts)
{
    if (file.size() < layout::kHeaderSize) // cut short since its header was read
        return std::nullopt;
    uint64_t room = file.size() - layout::kHeaderSize;
    uint64_t before_payload = 0; // bytes of the room in front of the payload
    uint64_t length_offset = layout::kLengthOffset;
    if (facts.kind == FileFacts::Kind::Package) {
        const bool whole = facts.summary.attribute_tag == tags::kEncryptNew;
        room = *facts.body_length;
        before_payload = whole ? layout::kHeaderSize : 4;
        length_offset = layout::kHeaderSize + (whole ? layout::kLengthOffset : 0);
        if (room < before_payload + layout::kTrailerSize)
            return PayloadRegion{layout::kHeaderSize, 0, false};
        room -= before_payload + layout::kTrailerSize;
    }
    uint8_t length_field[4];
    if (!file.seek(length_offset) || !file.read_exact(length_field, sizeof length_field))
        return std::nullopt;
    const uint64_t length = load_u32_le(length_field);
    const bool fits = facts.kind == FileFacts::Kind::Package ? length == room : length <= room;
    return PayloadRegion{layout::kHeaderSize + before_payload, std::min(length, room), fits};
}

PackageListing unreadable_listing()
{
    PackageListing listing;
    listing.layout = PackageLayout::Unreadable;
    return listing;
}

std::optional<PackageListing> list_packages(const std::string& path, const FileFacts& facts)
{
    const bool readable = facts.kind == FileFacts::Kind::Plain
        || (facts.kind == FileFacts::Kind::Package && facts.body_length);
    if (facts.summary.type_tag != tags::kPackage || !readable)
        return std::nullopt;
    InputFile file;
    std::optional<PayloadRegion> region;
    if (file.open(path))
        region = package_payload(file, facts);
    if (!region)
        return unreadable_listing();
    try {
        PackageListing listing = list_package_entries(file, region->offset, region->length);
        if (!region->fits && listing.layout == PackageLayout::Fits)
            listing.layout = PackageLayout::DoesNotFit;
        return listing;
    } catch (const std::bad_alloc&) { // the listing reads through a buffer of its own
        return unreadable_listing();
    }
}

std::optional<FileFacts::KeyFileContent> read_key_file_content(const std::string& path,
                                                                    const FileFacts& facts)
{
    if (facts.summary.type_tag != tags::kCompanyKey || facts.kind != FileFacts::Kind::Plain)
        return std::nullopt;
    FileFacts::KeyFileContent content;
    CompanyKey key{};
    content.readable = read_company_key_file(path, key, content.company) == kKeyFileOk;
    OPENSSL_cleanse(key.data(), key.size());
    return content;
}

} // namespace

bool FileFacts::passed() const
{
    if (outcome != Outcome::Inspected)
        return false;
    if (packages && (packages->layout != PackageLayout::Fits || !packages->lengths_fit))
        return false;
    if (key_file && !key_file->readable)
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

FileFacts gather_file_facts(const std::string& path, const std::optional<std::string>& key_file)
{
    FileFacts facts;
    CompanyKeyFile key;
    if (key_file) {
        key = load_company_key_file(*key_file);
        if (!key.read()) {
            facts.outcome = FileFacts::Outcome::KeyFileInvalid;
            return facts;
        }
    }
    if (!is_regular_file(path) || read_header_summary(path, facts.summary) != kSummaryRead) {
        facts.outcome = FileFacts::Outcome::FileInvalid;
        return facts;
    }
    if (!is_tagged_file(path, facts.summary)) {
        facts.outcome = FileFacts::Outcome::NotTaggedFile;
        return facts;
    }
    facts.size = static_cast<uint64_t>(QFileInfo(to_qpath(path)).size());
    const std::string& attribute = facts.summary.attribute_tag;
    if (attribute == tags::kPlain) {
        facts.kind = FileFacts::Kind::Plain;
        facts.trailer = run_check([&] { return check_md5_trailer(path); });
    } else if (attribute == tags::kEncryptBasic || attribute == tags::kEncryptNew) {
        facts.kind = FileFacts::Kind::Package;
        facts.body_length = package_body_length(path);
        if (facts.body_length && key_file)
            facts.tag = run_check([&] { return check_package_tag(path, key.key); });
    }
    facts.packages = list_packages(path, facts);
    facts.key_file = read_key_file_content(path, facts);
    return facts;
}

} // namespace kestrane
