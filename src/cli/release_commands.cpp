#include "cli/release_commands.h"

#include "cli/console.h"
#include "common/messages.h"
#include "common/text_format.h"
#include "ops/file_facts.h"
#include "ops/key_generation.h"
#include "ops/packing.h"

#include <optional>


namespace kestrane {

bool run_info_command(const std::string& file_path, bool key_given, const std::string& key_file, std::FILE* out,
                      InfoFormat format)
{
    const FileFacts facts =
        gather_file_facts(file_path, key_given ? std::optional<std::string>(key_file) : std::nullopt);
    print_info(out, format, facts, file_path, key_file);
    return facts.passed();
}

bool run_genkey_command(const GenkeyCommand& command, std::FILE* out)
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
    const int result = generate_company_key_file(request);
    if (result == kKeyFileExists)
        show_message("-force replaces it");
    if (result == kKeyFileGenerated && request.draw_digits && !terminal)
        show_message(format_text("Company key digits: not printed, they are in the key file[path:%s]",
                                 command.destination.c_str()));
    return result == kKeyFileGenerated;
}

bool run_pack_command(const std::string& directory, bool version_given, const std::string& version, bool dest_given,
                      const std::string& destination, bool key_given, const std::string& key_file, RunRecord* record)
{
    const auto given = [](bool is_given, const std::string& value) {
        return is_given ? std::optional<std::string>(value) : std::nullopt;
    };
    return pack_folder({directory, given(version_given, version), given(dest_given, destination),
                        given(key_given, key_file), record})
        == kPackOk;
}

} // namespace kestrane
