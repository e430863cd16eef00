#include "app/command_operations.h"

#include "common/messages.h"
#include "common/text_format.h"
#include "common/version_prompt.h"
#include "crypt/company_key_file.h"
#include "settings/encrypt_operation.h"
#include "wrap/source_checks.h"
#include "wrap/wrapping.h"

#include <optional>

namespace kestrane {
namespace {

// The wrapping type a command-line word names: exact, case-sensitive.
std::optional<unsigned> wrapping_type_of(const std::string& word)
{
    const auto& types = wrapping_types();
    for (unsigned index = 0; index < types.size(); ++index) {
        if (!types[index].word.empty() && types[index].word == word)
            return index;
    }
    return std::nullopt;
}

constexpr unsigned kKernelType = 4;
constexpr unsigned kBootloaderType = 5;

// The version of a kernel or bootloader image, read from its image name; nothing (after the
// message) when the image does not qualify.
std::optional<std::string> image_version(unsigned type, const std::string& file_path)
{
    const bool kernel = type == kKernelType;
    ImageName name{};
    if (const int result = read_image_name(file_path, name); result <= 0) {
        show_message(format_text(kernel ? "Failed to get firmware information with error[%d]"
                                        : "Failed to get bootloader information with error[%d]",
                                 result));
        return std::nullopt;
    }
    std::optional<std::string> version = kernel ? kernel_version(name) : bootloader_version(name);
    if (!version)
        show_message(kernel ? "Invalid firmware file" : "Invalid bootloader file");
    return version;
}

// The version of every other type: the version option, even when empty, else the question.
std::optional<std::string> asked_version(const std::string& file_path, bool version_given, const std::string& version)
{
    if (version_given)
        return version;
    return ask_version(file_path);
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

bool run_encrypt_command(const std::string& file_path, const std::string& key_file,
                         const std::string& raw_arguments)
{
    if (file_path.empty()) {
        show_message(format_text("invalid argument [%s]", raw_arguments.c_str()));
        return false;
    }
    CompanyKey key{};
    std::string company_name;
    if (read_company_key_file(key_file, key, company_name) <= 0) {
        show_message(format_text("invalid company key file[file:%s]", key_file.c_str()));
        return false;
    }
    const std::string output_path = file_path + "-" + company_name + ".enc";
    const int result = encrypt_wrapped_file(key_file, file_path, output_path);
    if (result > 0) {
        show_message("Success encrypt");
        return true;
    }
    show_message(format_text("Encrypt file failed with error[%d]", result));
    return false;
}

bool run_wrap_command(const std::string& file_path, const std::string& wrapping_word, bool version_given,
                      const std::string& version, bool key_given, const std::string& key_file)
{
    if (file_path.empty()) {
        show_message("Specify file path for wrapping");
        return false;
    }
    const std::string destination = file_path + ".wrp";
    const std::optional<unsigned> type = wrapping_type_of(wrapping_word);
    if (!type) {
        show_message(format_text("Unknown wrapping type[%s]", wrapping_word.c_str()));
        return false;
    }
    const std::optional<std::string> chosen_version = *type == kKernelType || *type == kBootloaderType
        ? image_version(*type, file_path)
        : asked_version(file_path, version_given, version);
    if (!chosen_version)
        return false;

    // With a usable key the package is written while the wrapped file is: one read of the source.
    EncryptionAlongside alongside;
    CompanyKey key{};
    std::string company_name;
    const bool encrypt_alongside = key_given && read_company_key_file(key_file, key, company_name) > 0
        && alongside.prepare(key_file, destination + "-" + company_name + ".enc");
    if (const int result = wrap_file(*type, *chosen_version, file_path, destination, alongside.observer());
        result <= 0) {
        show_message(format_text("%s wrapping failed with error[%d]", wrapping_word.c_str(), result));
        return false;
    }
    show_message("Wrapping success");
    if (!key_given)
        return true;
    if (encrypt_alongside)
        return report_encryption_after_wrapping(alongside.finish());

    if (const int result = read_company_key_file(key_file, key, company_name); result <= 0) {
        show_message(format_text("invalid company key file[file:%s][error:%d]", key_file.c_str(), result));
        return false;
    }
    return report_encryption_after_wrapping(
        encrypt_wrapped_file(key_file, destination, destination + "-" + company_name + ".enc"));
}

} // namespace kestrane
