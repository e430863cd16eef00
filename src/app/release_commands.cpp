#include "app/release_commands.h"

#include "common/file_io.h"
#include "common/messages.h"
#include "common/text_format.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"
#include "format/integrity.h"
#include "format/path_rules.h"
#include "format/tagged_file.h"
#include "pack/package_file.h"
#include "pack/package_scan.h"
#include "settings/encrypt_operation.h"

namespace kestrane {
namespace {

constexpr size_t kKeyDigits = 12;

void print_line(std::FILE* out, const std::string& line)
{
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

// Header fields come from the file: a control character (a line end, an escape sequence) is
// printed as \xNN, so that a field stays on its own line and cannot pass for another line.
std::string printable(const std::string& value)
{
    std::string text;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x20 || byte == 0x7F ? format_text("\\x%02x", byte) : std::string(1, c);
    }
    return text;
}

void print_field(std::FILE* out, const char* label, const std::string& value)
{
    print_line(out, value.empty() ? std::string(label) + ":" : std::string(label) + ": " + printable(value));
}

// The MD5 trailer of a plain tagged file. True when it matches.
bool print_trailer_check(std::FILE* out, const std::string& path)
{
    switch (check_md5_trailer(path)) {
    case IntegrityCheck::Passes:
        print_line(out, "MD5 trailer: matches");
        return true;
    case IntegrityCheck::Fails:
        print_line(out, "MD5 trailer: does not match");
        return false;
    case IntegrityCheck::Truncated:
        print_line(out, "MD5 trailer: missing, the file's length does not fit its payload length");
        return false;
    case IntegrityCheck::Unreadable:
        break;
    }
    print_line(out, "MD5 trailer: the file cannot be read");
    return false;
}

// The body length of an encrypted package and, with a key, its tag. True when all checks pass.
bool print_package_checks(std::FILE* out, const std::string& path, const CompanyKey* key)
{
    const std::optional<uint32_t> body = package_body_length(path);
    if (!body) {
        print_line(out, "Body length: does not fit the file");
        return false;
    }
    print_line(out, format_text("Body length: %u", *body));
    if (!key)
        return true;
    const IntegrityCheck tag = check_package_tag(path, *key);
    print_line(out, tag == IntegrityCheck::Passes ? "Tag: verifies" : "Tag: does not verify");
    return tag == IntegrityCheck::Passes;
}

// 12 key digits from the secure generator, upper-case hexadecimal.
std::optional<std::string> random_key_digits()
{
    uint8_t bytes[kKeyDigits / 2];
    if (!secure_random_bytes(bytes, sizeof bytes))
        return std::nullopt;
    std::string digits;
    for (const uint8_t byte : bytes)
        digits += format_text("%02X", byte);
    return digits;
}

// The company key file's company, or nothing (after its message) when the file is not one.
std::optional<std::string> company_of_key_file(const std::string& key_file)
{
    CompanyKey key{};
    std::string company;
    if (read_company_key_file(key_file, key, company) <= 0) {
        show_message(format_text("invalid company key file[file:%s]", key_file.c_str()));
        return std::nullopt;
    }
    return company;
}

std::vector<std::string> listed_file_names(const PackagingForm& form)
{
    std::vector<std::string> names;
    for (const HeaderSummary& entry : form.entries)
        names.push_back(package_list_row(entry)[0]);
    return names;
}

} // namespace

bool run_info_command(const std::string& file_path, bool key_given, const std::string& key_file, std::FILE* out)
{
    CompanyKey key{};
    if (key_given) {
        std::string company;
        if (read_company_key_file(key_file, key, company) <= 0) {
            print_line(out, format_text("invalid company key file[file:%s]", key_file.c_str()));
            return false;
        }
    }
    HeaderSummary summary;
    if (!is_regular_file(file_path) || read_header_summary(file_path, summary) != 1) {
        print_line(out, format_text("Path[%s] is invalid", file_path.c_str()));
        return false;
    }
    print_field(out, "File", last_path_component(file_path));
    print_field(out, "Type", summary.type_tag);
    print_field(out, "Attribute", summary.attribute_tag);
    print_field(out, "Model", summary.model_tag);
    print_field(out, "Version", summary.version);
    print_field(out, "CompanyName", summary.company_name);

    if (summary.attribute_tag == tags::kPlain)
        return print_trailer_check(out, file_path);
    if (summary.attribute_tag == tags::kEncryptBasic || summary.attribute_tag == tags::kEncryptNew)
        return print_package_checks(out, file_path, key_given ? &key : nullptr);
    print_line(out, "Integrity: not checked, the attribute is neither PLAN nor an encrypt mode");
    return true;
}

bool run_genkey_command(const std::string& digits, bool company_given, const std::string& company,
                        const std::string& destination, std::FILE* out)
{
    if (destination.empty()) {
        show_message("Select target path");
        return false;
    }
    if (!company_given || company.empty()) {
        show_message("Input brand");
        return false;
    }
    if (company.size() > package::kMaxCompanyName) {
        show_message("Company name error");
        return false;
    }
    std::string key_digits = digits;
    if (digits == "random") {
        const std::optional<std::string> drawn = random_key_digits();
        if (!drawn) {
            show_message(format_text("Fail with Error code[%d]", -1));
            return false;
        }
        key_digits = *drawn;
        print_line(out, "Company key digits: " + key_digits);
    }
    if (key_digits.size() != kKeyDigits) {
        show_message("Invalid vid");
        return false;
    }
    if (const int result = write_company_key_file("0000" + key_digits, company, destination); result < 0) {
        show_message(format_text("Fail with Error code[%d]", result));
        return false;
    }
    show_message("Success");
    return true;
}

bool run_pack_command(const std::string& directory, bool version_given, const std::string& version,
                      bool dest_given, const std::string& destination, bool key_given, const std::string& key_file)
{
    PackagingForm form;
    scan_package_sources(form, directory);
    if (form.entries.empty())
        return false; // the scan has said why
    if (version_given)
        form.version = version;
    else
        pick_package_version(form);
    if (dest_given)
        form.dest_file = destination;
    else
        update_package_destination(form);

    // A key of another company would make a package nobody can use: refuse before writing.
    if (key_given) {
        const std::optional<std::string> company = company_of_key_file(key_file);
        if (!company)
            return false;
        if (*company != form.company_name) {
            show_message(format_text("Doesn't match brand name with [%s]", form.company_name.c_str()));
            return false;
        }
    }
    const int packed = pack_files(form.version, form.path, listed_file_names(form), form.dest_file);
    if (packed <= 0) {
        show_message(format_text("Fail with error[%d]", packed));
        return false;
    }
    show_message("Success");
    if (!key_given)
        return true;
    return encrypt_wrapped_file(key_file, form.dest_file, form.dest_file + "-" + form.company_name + ".pkg") > 0;
}

} // namespace kestrane
