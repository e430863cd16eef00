#include "app/command_line.h"

namespace kestrane {

std::optional<CommandLine> parse_command_line(int argc, const char* const* argv, OptionSyntax syntax)
{
    PositionalParam file_argument;
    ParamErrorHandler error_handler;
    ValueParam key;
    ValueParam wrapping;
    ValueParam version;

    ParamParser parser(syntax);
    parser.set_positional(&file_argument);
    parser.set_error_handler(&error_handler);
    parser.add_param("key", &key);
    parser.add_param("wrapping", &wrapping);
    parser.add_param("version", &version);
    if (!parser.parse(argc, argv))
        return std::nullopt;

    CommandLine command_line;
    command_line.file_argument = file_argument.value();
    command_line.key_given = key.present();
    command_line.key_file = key.value();
    command_line.wrapping_given = wrapping.present();
    command_line.wrapping_word = wrapping.value();
    command_line.version_given = version.present();
    command_line.version = version.value();
    return command_line;
}

} // namespace kestrane
