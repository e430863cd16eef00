#include "cli/command_operations.h"

#include "common/messages.h"
#include "common/text_format.h"
#include "common/version_prompt.h"
#include "ops/company_key.h"
#include "ops/encryption.h"
#include "ops/input_protection.h"
#include "ops/output_names.h"
#include "ops/wrapping_jobs.h"
#include "wrap/wrapping.h"

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
std::optional<std::string> wrapping_version(unsigned type, const std::string& file_path,
                                            const std::optional<std::string>& version)
{
    if (type == kWrapKernel || type == kWrapBootloader)
        return read_image_version(type, file_path);
    if (version)
        return version;
    return ask_version(file_path);
}

bool report_wrapping(const std::string& wrapping_word, int result)
{
    if (result <= 0) {
        show_message(format_text("%s wrapping failed with error[%d]", wrapping_word.c_str(), result));
        return false;
    }
    show_message("Wrapping success");
    return true;
}

bool report_encryption_after_wrapping(int result)
{
    if (result > 0) {
        show_message("Encrypt success");
        return true;
    }
    show_message(format_text("error occurs while encrypting after wrapping with error[%d]", result));
    return false;
}

} // namespace

bool run_encrypt_command(const std::string& file_path, const std::string& key_file, const std::string& raw_arguments,
                         const std::optional<std::string>& destination, RunRecord* record)
{
    if (file_path.empty()) {
        show_message(format_text("invalid argument [%s]", raw_arguments.c_str()));
        return false;
    }
    // Read once: its company names the output, its key encrypts.
    const CompanyKeyFile company_key = load_company_key_file(key_file);
    if (!company_key.read()) {
        show_message(format_text("invalid company key file[file:%s]", key_file.c_str()));
        return false;
    }
    const std::string output = destination ? *destination : encrypted_file_path(file_path, company_key.company_name);
    const int result = encrypt_wrapped_file(company_key, file_path, output, record);
    if (result > 0) {
        show_message("Success encrypt");
        return true;
    }
    show_message(format_text("Encrypt file failed with error[%d]", result));
    return false;
}

bool run_wrap_command(const WrapCommand& command)
{
    if (command.file_path.empty()) {
        show_message("Specify file path for wrapping");
        return false;
    }
    const std::string& word = command.wrapping_word;
    const std::optional<unsigned> type = wrapping_type_of(word);
    if (!type) {
        show_message(format_text("Unknown wrapping type[%s]", word.c_str()));
        return false;
    }
    const std::optional<std::string> version = wrapping_version(*type, command.file_path, command.version);
    if (!version)
        return false;

    const WrapRequest request{*type, *version, command.file_path,
                              command.destination.value_or(wrapped_file_path(command.file_path))};
    // -dest could put the wrapped file into the directory being wrapped.
    if (wrapping_types()[*type].directory && !outputs_outside_folder({request.destination}, request.source))
        return report_wrapping(word, kWrapRefused);
    if (!command.key_file)
        return report_wrapping(word, wrap_source(request, command.record));
    WrapThenEncrypt job(request, {*command.key_file, {}}, command.record);
    if (!report_wrapping(word, job.wrap()))
        return false;
    if (job.key_file_result() <= 0) {
        show_message(format_text("invalid company key file[file:%s][error:%d]", command.key_file->c_str(),
                                 job.key_file_result()));
        return false;
    }
    return report_encryption_after_wrapping(job.encrypt());
}

} // namespace kestrane
