#include "cli/release_commands.h"

#include "cli/console.h"
#include "common/text_format.h"
#include "format/path_rules.h"
#include "ops/file_inspection.h"
#include "ops/key_generation.h"
#include "ops/packing.h"
#include "pack/package_file.h"

#include <optional>

namespace kestrane {
namespace {

// Header fields come from the file: print_line escapes their control characters, so that a field
// stays on its own line and cannot pass for another line.
void print_field(std::FILE* out, const char* label, const std::string& value)
{
    print_line(out, value.empty() ? std::string(label) + ":" : std::string(label) + ": " + value);
}

const char* trailer_line(IntegrityCheck trailer)
{
    switch (trailer) {
    case IntegrityCheck::Passes:
        return "MD5 trailer: matches";
    case IntegrityCheck::Fails:
        return "MD5 trailer: does not match";
    case IntegrityCheck::Truncated:
        return "MD5 trailer: missing, the file's length does not fit its payload length";
    case IntegrityCheck::Unreadable:
        break;
    }
    return "MD5 trailer: the file cannot be read";
}

// The body length of an encrypted package and, when it was checked, its tag.
void print_package_checks(std::FILE* out, const FileInspection& inspection)
{
    if (!inspection.body_length) {
        print_line(out, "Body length: does not fit the file");
        return;
    }
    print_line(out, format_text("Body length: %u", *inspection.body_length));
    if (inspection.tag)
        print_line(out, *inspection.tag == IntegrityCheck::Passes ? "Tag: verifies" : "Tag: does not verify");
}

void print_checks(std::FILE* out, const FileInspection& inspection)
{
    switch (inspection.kind) {
    case FileInspection::Kind::Plain:
        print_line(out, trailer_line(inspection.trailer));
        return;
    case FileInspection::Kind::Package:
        print_package_checks(out, inspection);
        return;
    case FileInspection::Kind::Other:
        break;
    }
    print_line(out, "Integrity: not checked, the attribute is neither PLAN nor an encrypt mode");
}

} // namespace

bool run_info_command(const std::string& file_path, bool key_given, const std::string& key_file, std::FILE* out)
{
    const FileInspection inspection =
        inspect_file(file_path, key_given ? std::optional<std::string>(key_file) : std::nullopt);
    switch (inspection.outcome) {
    case FileInspection::Outcome::KeyFileInvalid:
        print_line(out, format_text("invalid company key file[file:%s]", key_file.c_str()));
        return false;
    case FileInspection::Outcome::FileInvalid:
        print_line(out, format_text("Path[%s] is invalid", file_path.c_str()));
        return false;
    case FileInspection::Outcome::NotTaggedFile:
        print_line(out, format_text("Path[%s] is not a tagged file", file_path.c_str()));
        return false;
    case FileInspection::Outcome::Inspected:
        break;
    }
    const HeaderSummary& summary = inspection.summary;
    print_field(out, "File", last_path_component(file_path));
    print_field(out, "Type", summary.type_tag);
    print_field(out, "Attribute", summary.attribute_tag);
    print_field(out, "Model", summary.model_tag);
    print_field(out, "Version", summary.version);
    print_field(out, "CompanyName", summary.company_name);
    print_checks(out, inspection);
    return inspection.passed();
}

bool run_genkey_command(const std::string& digits, bool company_given, const std::string& company,
                        const std::string& destination, std::FILE* out)
{
    const KeyFileRequest request{
        .digits = digits,
        .company_name = company_given ? company : std::string(),
        .destination = destination,
        .draw_digits = digits == "random",
        .digits_drawn = [out](const std::string& drawn) { print_line(out, "Company key digits: " + drawn); },
    };
    return generate_company_key_file(request) == kKeyFileGenerated;
}

bool run_pack_command(const std::string& directory, bool version_given, const std::string& version,
                      bool dest_given, const std::string& destination, bool key_given, const std::string& key_file)
{
    const auto given = [](bool is_given, const std::string& value) {
        return is_given ? std::optional<std::string>(value) : std::nullopt;
    };
    return pack_folder({directory, given(version_given, version), given(dest_given, destination),
                        given(key_given, key_file)})
        == kPackOk;
}

} // namespace kestrane
