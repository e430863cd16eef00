#include "cli/command_operations.h"

#include "cli/console.h"
#include "common/paths.h"
#include "common/text_format.h"
#include "ops/company_key.h"
#include "ops/encryption.h"
#include "ops/file_facts.h"
#include "ops/firmware_sources.h"
#include "ops/input_protection.h"
#include "ops/key_generation.h"
#include "ops/output_names.h"
#include "ops/packing.h"
#include "ops/wrapping_jobs.h"

#include <optional>

namespace kestrane {
namespace {

// The wrapping type a command-line word names: exact, case-sensitive.
std::optional<unsigned> wrapping_type_of(const std::string& word)
{
    const auto& types = wrapping_types();
    for (unsigned index = 0; index < types.size(); ++index) {
        if (types[index].word == word)
            return index;
    }
    return std::nullopt;
}

// The version: from the image name for kernel and bootloader images (emergency images are asked
// for here, unlike in the dialog); for every other type the version option, even when empty, else
// the question.
std::optional<std::string> wrapping_version(FrontEnd& front, unsigned type, const std::string& file_path,
                                            const std::optional<std::string>& version)
{
    if (type == kWrapKernel || type == kWrapBootloader)
        return read_image_version(front, type, file_path);
    if (version)
        return version;
    return front.ask_version(file_path);
}

bool report_wrapping(FrontEnd& front, const std::string& wrapping_word, int result)
{
    if (result <= 0) {
        front.show_message(format_text("%s wrapping failed with error[%d]", wrapping_word.c_str(), result));
        return false;
    }
    front.show_message("Wrapping success");
    return true;
}

bool report_encryption_after_wrapping(FrontEnd& front, int result)
{
    if (result > 0) {
        front.show_message("Encrypt success");
        return true;
    }
    front.show_message(format_text("error occurs while encrypting after wrapping with error[%d]", result));
    return false;
}

} // namespace

std::optional<CompanyKeys> gather_company_keys(FrontEnd& front, const std::vector<std::string>& key_files,
                                               const std::optional<std::string>& key_folder)
{
    CompanyKeys keys;
    keys.several = key_files.size() > 1 || key_folder;
    for (const std::string& key_file : key_files)
        keys.key_files.push_back(load_company_key_file(key_file));
    if (!key_folder)
        return keys;
    std::optional<FolderKeyFiles> found = company_key_files_in(*key_folder);
    if (found) {
        for (const std::string& other : found->others)
            front.show_message(format_text("Not a company key file, skipped[path:%s]", other.c_str()));
    }
    if (!found || found->key_files.empty()) {
        front.show_message(format_text("No company key file in folder[path:%s]", key_folder->c_str()));
        return std::nullopt;
    }
    for (CompanyKeyFile& key_file : found->key_files)
        keys.key_files.push_back(std::move(key_file));
    return keys;
}

std::string duplicate_company_problem(const CompanyKeys& keys)
{
    const std::vector<CompanyKeyFile>& files = keys.key_files;
    for (size_t i = 0; i < files.size(); ++i) {
        for (size_t j = i + 1; j < files.size(); ++j) {
            if (files[i].read() && files[j].read() && files[i].company_name == files[j].company_name)
                return "two key files of company " + files[i].company_name + ": " + files[i].path + ", "
                    + files[j].path;
        }
    }
    return {};
}

namespace {

// Tells the key files that are not company key files; true when there is none.
bool all_key_files_read(FrontEnd& front, const CompanyKeys& keys, bool with_error)
{
    for (const CompanyKeyFile& key_file : keys.key_files) {
        if (key_file.read())
            continue;
        front.show_message(with_error ? format_text("invalid company key file[file:%s][error:%d]",
                                                    key_file.path.c_str(), key_file.result)
                                      : format_text("invalid company key file[file:%s]", key_file.path.c_str()));
        return false;
    }
    return true;
}

bool encrypt_for_one_company(FrontEnd& front, const std::string& file_path, const CompanyKeyFile& company_key,
                             const std::optional<std::string>& destination, RunRecord* record, IoPolicy& io)
{
    const std::string output = destination ? *destination : encrypted_file_path(file_path, company_key.company_name);
    return encrypt_wrapped_file(front, company_key, file_path, output, record, io) > 0;
}

// Several companies: every package beside the file, or in the folder `destination`.
bool encrypt_for_several_companies(FrontEnd& front, const std::string& file_path, const CompanyKeys& keys,
                                   const std::optional<std::string>& destination, RunRecord* record, IoPolicy& io)
{
    if (destination && !is_directory(*destination)) {
        front.show_message(
            format_text("-dest must be a folder when encrypting for several companies[path:%s]", destination->c_str()));
        return false;
    }
    std::vector<CompanyOutput> companies;
    for (const CompanyKeyFile& key_file : keys.key_files) {
        const std::string& company = key_file.company_name;
        companies.push_back({key_file,
                             destination ? encrypted_file_path_in(*destination, file_path, company)
                                         : encrypted_file_path(file_path, company)});
    }
    const CompaniesEncryption outcome = encrypt_for_companies(front, companies, file_path, record, io);
    for (const std::string& output : outcome.committed) {
        front.show_message(format_text("Success to encrypt file. [path:%s]", output.c_str()));
        front.show_message("Success encrypt");
    }
    return outcome.result > 0;
}

} // namespace

bool run_encrypt_command(FrontEnd& front, const std::string& file_path, const CompanyKeys& keys,
                         const std::string& raw_arguments, const std::optional<std::string>& destination,
                         RunRecord* record, IoPolicy& io)
{
    if (file_path.empty()) {
        front.show_message(format_text("invalid argument [%s]", raw_arguments.c_str()));
        return false;
    }
    if (!all_key_files_read(front, keys, false))
        return false;
    if (keys.several ? encrypt_for_several_companies(front, file_path, keys, destination, record, io)
                     : encrypt_for_one_company(front, file_path, keys.key_files.front(), destination, record, io)) {
        if (!keys.several)
            front.show_message("Success encrypt");
        return true;
    }
    front.show_message(format_text("Encrypt file failed with error[%d]", kEncryptionFailed));
    return false;
}

bool run_wrap_command(FrontEnd& front, const WrapCommand& command, IoPolicy& io)
{
    if (command.file_path.empty()) {
        front.show_message("Specify file path for wrapping");
        return false;
    }
    const std::string& word = command.wrapping_word;
    const std::optional<unsigned> type = wrapping_type_of(word);
    if (!type) {
        front.show_message(format_text("Unknown wrapping type[%s]", word.c_str()));
        return false;
    }
    const std::optional<std::string> version = wrapping_version(front, *type, command.file_path, command.version);
    if (!version)
        return false;

    const WrapRequest request{*type, *version, command.file_path,
                              command.destination.value_or(wrapped_file_path(command.file_path))};
    // -dest could put the wrapped file into the directory being wrapped.
    if (wrapping_types()[*type].directory && !outputs_outside_folder(front, {request.destination}, request.source))
        return report_wrapping(front, word, kWrapRefused);
    if (!command.keys)
        return report_wrapping(front, word, wrap_source(front, request, command.record, io));
    const CompanyKeys& keys = *command.keys;
    WrapThenEncrypt job(front, request, keys.key_files, command.record, io);
    if (!report_wrapping(front, word, job.wrap()) || !all_key_files_read(front, keys, true))
        return false;
    if (!keys.several)
        return report_encryption_after_wrapping(front, job.encrypt());
    const CompaniesEncryption outcome = job.encrypt_all();
    for (const std::string& output : outcome.committed) {
        front.show_message(format_text("Success to encrypt file. [path:%s]", output.c_str()));
        front.show_message("Encrypt success");
    }
    return outcome.result > 0 || report_encryption_after_wrapping(front, outcome.result);
}

bool run_info_command(const std::string& file_path, bool key_given, const std::string& key_file, std::FILE* out,
                      InfoFormat format)
{
    const FileFacts facts =
        gather_file_facts(file_path, key_given ? std::optional<std::string>(key_file) : std::nullopt);
    print_info(out, format, facts, file_path, key_file);
    return facts.passed();
}

bool run_genkey_command(FrontEnd& front, const GenkeyCommand& command, std::FILE* out, IoPolicy& io)
{
    // The digits are the company's secret: on a terminal the user sees them once; a log keeps
    // only where they are.
    const bool terminal = is_terminal(out);
    const KeyFileRequest request{
        .digits = command.digits,
        .company_name = command.company,
        .destination = command.destination,
        .draw_digits = command.digits == "random",
        .digits_drawn =
            [out, terminal](const std::string& drawn) {
                if (terminal)
                    print_line(out, "Company key digits: " + drawn);
            },
        .keep_existing_destination = !command.force,
    };
    const int result = generate_company_key_file(front, request, io);
    if (result == kKeyFileExists)
        front.show_message("-force replaces it");
    if (result == kKeyFileGenerated && request.draw_digits && !terminal)
        front.show_message(format_text("Company key digits: not printed, they are in the key file[path:%s]",
                                       command.destination.c_str()));
    return result == kKeyFileGenerated;
}

bool run_pack_command(FrontEnd& front, const std::string& directory, bool version_given, const std::string& version,
                      bool dest_given, const std::string& destination, bool key_given, const std::string& key_file,
                      RunRecord* record, IoPolicy& io)
{
    const auto given = [](bool is_given, const std::string& value) {
        return is_given ? std::optional<std::string>(value) : std::nullopt;
    };
    return pack_folder(front,
                       {directory, given(version_given, version), given(dest_given, destination),
                        given(key_given, key_file), record},
                       io)
        == kPackOk;
}

} // namespace kestrane
