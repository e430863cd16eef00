// The argument parser, parse_command_line and select_operation on arbitrary argument vectors (the
// input split at zero bytes), with both option syntaxes. Beyond not crashing: every value a parse
// hands out is an argument or a part of one after a colon (or "=", in the long form), the file
// argument is never an option unless "--" ended the options, and the operation chosen agrees with
// the options that are present.

#include "fuzz_support.h"

#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/param_parser.h"

#include <algorithm>

using namespace kestrane;
using namespace kestrane::fuzz;

namespace {

std::vector<std::string> split_arguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> arguments{"kestrane"};
    std::string current;
    for (size_t i = 0; i < size && arguments.size() < 64; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty() && arguments.size() < 64)
        arguments.push_back(current);
    return arguments;
}

bool is_option(const std::string& argument, OptionSyntax syntax)
{
    return argument.starts_with('-') || (syntax == OptionSyntax::Windows && argument.starts_with('/'));
}

// A value came from the arguments: it is one of them, or the part after a colon of one.
bool value_from(const std::string& value, const std::vector<std::string>& arguments)
{
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == value)
            return true;
        const size_t colon = argument.find(':');
        if (colon != std::string::npos && argument.substr(colon + 1) == value)
            return true;
        const size_t equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string::npos && argument.substr(equals + 1) == value)
            return true;
    }
    return false;
}

void check_command_line(const std::vector<std::string>& arguments, const std::vector<const char*>& argv,
                        OptionSyntax syntax)
{
    const std::optional<CommandLine> parsed =
        parse_command_line(static_cast<int>(arguments.size()), argv.data(), syntax);
    if (!parsed)
        return;
    const CommandLine& c = *parsed;
    const bool options_ended = std::find(arguments.begin() + 1, arguments.end(), "--") != arguments.end();
    if (!c.file_argument.empty()) {
        FUZZ_REQUIRE(options_ended || !is_option(c.file_argument, syntax), "an option became the file argument");
        FUZZ_REQUIRE(value_from(c.file_argument, arguments), c.file_argument);
    }
    for (const OptionValue* option : {&c.key, &c.wrapping, &c.version, &c.info, &c.genkey, &c.company, &c.pack, &c.dest})
        FUZZ_REQUIRE(!option->given || value_from(option->value, arguments) || option->value.empty(), option->value);

    const Operation operation = select_operation(c);
    const int operations = c.wrapping.given + c.info.given + c.genkey.given + c.pack.given + c.verify.given;
    switch (operation) {
    case Operation::Help:
        FUZZ_REQUIRE(c.help, "help without -help");
        break;
    case Operation::Version:
        FUZZ_REQUIRE(c.version_request && arguments.size() == 2, "the version without a lone --version");
        break;
    case Operation::Dialogs:
        FUZZ_REQUIRE(!c.help && operations == 0 && !c.key.given && !c.key_folder.given, "dialogs despite an operation");
        break;
    case Operation::Encrypt:
        // A folder of company key files alone encrypts as -key does.
        FUZZ_REQUIRE((c.key.given || c.key_folder.given) && operations == 0, "encrypt");
        break;
    case Operation::Wrap:
        FUZZ_REQUIRE(c.wrapping.given && operations == 1, "wrap");
        break;
    case Operation::Info:
        FUZZ_REQUIRE(c.info.given && operations == 1 && c.file_argument.empty(), "info");
        break;
    case Operation::GenerateKey:
        FUZZ_REQUIRE(c.genkey.given && operations == 1 && !c.key.given, "genkey");
        break;
    case Operation::Pack:
        FUZZ_REQUIRE(c.pack.given && operations == 1 && c.file_argument.empty(), "pack");
        break;
    case Operation::Verify:
        FUZZ_REQUIRE(c.verify.given && c.private_key.given && operations == 1 && c.file_argument.empty(), "verify");
        break;
    case Operation::Conflict:
        FUZZ_REQUIRE(!c.help, "conflict with -help");
        break;
    }
    const bool refused = operation == Operation::Conflict || operation == Operation::Help;
    if (operations > 1)
        FUZZ_REQUIRE(refused, "two operations at once");
    if (c.file_arguments > 1)
        FUZZ_REQUIRE(refused || operation == Operation::Dialogs, "two file arguments");
    FUZZ_REQUIRE(!c.json || refused || operation == Operation::Info || operation == Operation::Verify,
                 "-json without -info or -verify");
    FUZZ_REQUIRE(!c.force || refused || operation == Operation::GenerateKey, "-force without -genkey");
}

// The bare parser with options whose names come from the input itself.
void check_parser(const std::vector<std::string>& arguments, const std::vector<const char*>& argv,
                  OptionSyntax syntax)
{
    PositionalParam positional;
    ValueParam first, second;
    FlagParam flag;
    ParamErrorHandler errors;
    ParamParser parser(syntax);
    parser.set_positional(&positional);
    parser.set_error_handler(&errors);
    const std::string name_one = arguments.size() > 1 ? arguments[1] : "key";
    parser.add_param(name_one, &first);
    parser.add_param("version", &second);
    parser.add_flag(arguments.size() > 2 ? arguments[2] : "help", &flag);
    const bool parsed = parser.parse(static_cast<int>(arguments.size()), argv.data());
    if (!parsed)
        return;
    FUZZ_REQUIRE(positional.value().empty() || value_from(positional.value(), arguments), positional.value());
    if (first.present())
        FUZZ_REQUIRE(first.name() == name_one && (first.value().empty() || value_from(first.value(), arguments)),
                     first.value());
    for (size_t i = 1; i < arguments.size(); ++i) {
        std::string stripped = arguments[i];
        FUZZ_REQUIRE(parser.strip_option_prefix(stripped) == is_option(arguments[i], syntax), arguments[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> arguments = split_arguments(data, size);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);

    for (const OptionSyntax syntax : {OptionSyntax::Posix, OptionSyntax::Windows}) {
        check_command_line(arguments, argv, syntax);
        check_parser(arguments, argv, syntax);
    }
    const std::string typed = typed_arguments(static_cast<int>(arguments.size()), argv.data());
    for (size_t i = 1; i < arguments.size(); ++i)
        FUZZ_REQUIRE(typed.find(arguments[i]) != std::string::npos, "typed_arguments lost " + arguments[i]);
    return 0;
}
