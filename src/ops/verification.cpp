#include "ops/verification.h"

#include "common/atomic_output_file.h"
#include "common/input_file.h"
#include "common/paths.h"
#include "common/text_format.h"
#include "crypt/sealing_key.h"
#include "format/integrity.h"
#include "format/little_endian.h"
#include "format/tagged_layout.h"
#include "ops/company_key.h"
#include "ops/input_protection.h"

#include <algorithm>
#include <memory>
#include <new>

namespace kestrane {
namespace {

using Outcome = VerificationReport::Outcome;
using Load = PrivateSealingKey::Load;

VerificationReport refused(Outcome outcome, std::string message)
{
    VerificationReport report;
    report.outcome = outcome;
    report.message = std::move(message);
    return report;
}

std::string key_refusal(Load load, const std::string& path, unsigned mode)
{
    const char* file = path.c_str();
    switch (load) {
    case Load::OpenToOthers:
        return format_text(
            "Private key file can be read by others (mode %04o): make it private with chmod 600[file:%s]", mode, file);
    case Load::NeedsPassphrase:
        return format_text("Private key is encrypted: give its passphrase on a terminal, or with -passin env:VAR or "
                           "-passin file:PATH[file:%s]",
                           file);
    case Load::WrongPassphrase:
        return format_text("Private key does not open with this passphrase[file:%s]", file);
    case Load::NotAKey:
        return format_text("No private key in PEM[file:%s]", file);
    case Load::NotRsa1024:
        return format_text("Private key is not an RSA-1024 key[file:%s]", file);
    case Load::NotStrict:
        return format_text("This OpenSSL does not let implicit rejection be turned off: sealed blocks cannot be "
                           "checked strictly[file:%s]",
                           file);
    case Load::CannotRead:
    case Load::Loaded:
        break;
    }
    return format_text("Private key cannot be read[file:%s]", file);
}

void set(VerifyCheck& check, bool passed, std::string detail)
{
    check.result = passed ? VerifyCheck::Result::Passed : VerifyCheck::Result::Failed;
    check.detail = std::move(detail);
}

void judge_sealing_key(VerifyCheck& check, const PrivateSealingKey& key)
{
    if (key.matches_built_in_key())
        set(check, true, "the private key is the private half of this program's [" + key.fingerprint() + "]");
    else
        set(check, false,
            "the private key is not this program's: its packages were sealed for another key (this program's ["
                + std::string(sealing_key_fingerprint()) + "], the private key's [" + key.fingerprint() + "])");
}

// The message a refusal of the destination shows, or "" when it may be written.
std::string destination_refusal(const VerifyRequest& request)
{
    const std::string& destination = *request.destination;
    if (path_exists(destination) && !is_regular_file(destination))
        return format_text("Destination is not a regular file[path:%s]", destination.c_str());
    return input_overwrite_refusal({destination},
                                   {request.package, request.private_key, request.key_file.value_or(std::string())})
        .value_or(std::string());
}

// Reads the entries of a package file's payload and opens each as an encrypted package.
class EntryWalk {
public:
    EntryWalk(InputFile& file, const PrivateSealingKey& key, const OpeningExpectations& expectations,
              VerificationReport& report)
        : m_file(file), m_key(key), m_expectations(expectations), m_report(report)
    {}

    void walk(const PackageOpening::Region& payload)
    {
        VerifyCheck entries{"package_entries", "Package entries"};
        uint8_t field[4];
        uint64_t position = 4;
        const bool counted = payload.length >= 4 && m_file.seek(payload.offset) && m_file.read_exact(field, 4);
        const uint32_t count = counted ? load_u32_le(field) : 0;
        uint32_t opened = 0;
        for (; counted && opened < count; ++opened) {
            if (position + 4 > payload.length || !m_file.seek(payload.offset + position)
                || !m_file.read_exact(field, 4))
                break;
            const uint64_t size = load_u32_le(field);
            if (position + 4 + size > payload.length)
                break;
            m_report.packages.push_back(
                {opened + 1u, open_package(m_file, payload.offset + position + 4, size, m_key, m_expectations)});
            position += 4 + size;
        }
        if (!counted)
            set(entries, false, "the payload holds no entry count");
        else if (opened < count)
            set(entries, false, format_text("entry %u of %u runs past the payload", opened + 1, count));
        else if (position != payload.length)
            set(entries, false, format_text("%u packages, then bytes that belong to none", count));
        else
            set(entries, true, format_text("%u package%s fill the payload", count, count == 1 ? "" : "s"));
        m_report.file_checks.push_back(entries);
    }

private:
    InputFile& m_file;
    const PrivateSealingKey& m_key;
    const OpeningExpectations& m_expectations;
    VerificationReport& m_report;
};

void verify_plain_package_file(InputFile& file, const VerifyRequest& request, const PrivateSealingKey& key,
                               const OpeningExpectations& expectations, VerificationReport& report)
{
    VerifyCheck trailer{"md5_trailer", "MD5 trailer"};
    const IntegrityCheck integrity = check_md5_trailer(request.package);
    set(trailer, integrity == IntegrityCheck::Passes,
        integrity == IntegrityCheck::Passes      ? "matches"
            : integrity == IntegrityCheck::Fails ? "does not match"
                                                 : "missing: the file's length does not fit its payload length");
    report.file_checks.push_back(trailer);
    if (integrity == IntegrityCheck::Passes || integrity == IntegrityCheck::Fails) {
        uint8_t field[4];
        if (file.seek(layout::kLengthOffset) && file.read_exact(field, sizeof field))
            EntryWalk(file, key, expectations, report).walk({layout::kHeaderSize, load_u32_le(field)});
    }
}

void verify_encrypted(InputFile& file, const PrivateSealingKey& key, OpeningExpectations& expectations,
                      VerificationReport& report)
{
    report.packages.push_back({0, open_package(file, 0, file.size(), key, expectations)});
    expectations.restored_sink = nullptr; // the entries of a package file are not restored
    if (const auto payload = report.packages.front().opening.carried_payload)
        EntryWalk(file, key, expectations, report).walk(*payload);
}

void finish_destination(AtomicOutputFile& output, const VerifyRequest& request, VerificationReport& report)
{
    VerifyCheck restored{"restored", "Restored to"};
    const std::string& destination = *request.destination;
    if (!report.passed()) {
        output.discard();
        set(restored, false, format_text("not written, a check failed[path:%s]", destination.c_str()));
    } else {
        const bool written = output.commit();
        set(restored, written,
            format_text(written ? "written[path:%s]" : "cannot be written[path:%s]", destination.c_str()));
    }
    report.restored = restored;
}

} // namespace

bool VerificationReport::passed() const
{
    const auto passes = [](const VerifyCheck& check) { return check.passed(); };
    return outcome == Outcome::Verified && sealing_key.passed() && (!packages.empty() || !file_checks.empty())
        && std::all_of(file_checks.begin(), file_checks.end(), passes)
        && std::all_of(packages.begin(), packages.end(),
                       [](const VerifiedPackage& package) { return package.opening.passed(); })
        && (!restored || restored->passed());
}

VerificationReport verify_package(const VerifyRequest& request, IoPolicy& io)
{
    CompanyKeyFile company;
    if (request.key_file) {
        company = load_company_key_file(*request.key_file);
        if (!company.read())
            return refused(Outcome::KeyFileInvalid,
                           format_text("invalid company key file[file:%s]", request.key_file->c_str()));
    }
    HeaderSummary summary;
    if (!is_regular_file(request.package) || read_header_summary(request.package, summary) != kSummaryRead)
        return refused(Outcome::FileInvalid, format_text("Path[%s] is invalid", request.package.c_str()));
    const bool encrypted = summary.attribute_tag == tags::kEncryptBasic || summary.attribute_tag == tags::kEncryptNew;
    const bool plain_package_file = summary.type_tag == tags::kPackage && summary.attribute_tag == tags::kPlain;
    if (!encrypted && !plain_package_file)
        return refused(
            Outcome::NotVerifiable,
            format_text("Path[%s] is neither an encrypted package nor a package file", request.package.c_str()));
    if (request.destination) {
        std::string refusal = plain_package_file
            ? format_text(
                "A plain package file restores no wrapped file: -dest belongs to an encrypted package[path:%s]",
                request.package.c_str())
            : destination_refusal(request);
        if (!refusal.empty())
            return refused(Outcome::DestinationRefused, std::move(refusal));
    }

    std::unique_ptr<PrivateSealingKey> key;
    unsigned mode = 0;
    const Load load = PrivateSealingKey::load(request.private_key, request.passphrase, key, &mode);
    if (load != Load::Loaded) {
        VerificationReport report = refused(Outcome::PrivateKeyRefused, key_refusal(load, request.private_key, mode));
        report.key_load = load;
        return report;
    }

    VerificationReport report;
    report.summary = summary;
    judge_sealing_key(report.sealing_key, *key);
    InputFile file;
    if (!file.open(request.package))
        return refused(Outcome::FileInvalid, format_text("Path[%s] is invalid", request.package.c_str()));

    OpeningExpectations expectations;
    if (company.read()) {
        expectations.company_key = &company.key;
        expectations.company_name = company.company_name;
    }
    std::unique_ptr<AtomicOutputFile> output;
    if (request.destination) {
        output = std::make_unique<AtomicOutputFile>(*request.destination, io);
        if (!output->open())
            return refused(Outcome::DestinationRefused,
                           format_text("Cannot create destination[path:%s]", request.destination->c_str()));
        expectations.restored_sink = [&output](const uint8_t* data, size_t count) {
            return output->write(data, count);
        };
    }
    try {
        if (encrypted)
            verify_encrypted(file, *key, expectations, report);
        else
            verify_plain_package_file(file, request, *key, expectations, report);
    } catch (const std::bad_alloc&) {
        report = refused(Outcome::FileInvalid, format_text("Out of memory verifying[%s]", request.package.c_str()));
    }
    cleanse_key(company.key);
    if (output)
        finish_destination(*output, request, report);
    return report;
}

} // namespace kestrane
