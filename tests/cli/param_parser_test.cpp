#include "cli/param_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace kestrane;

namespace {

// Records every error the parser reports; answers as the program's own handler does.
class RecordingErrorHandler : public ParamErrorHandler {
public:
    bool accept(std::string name, std::string value) override
    {
        errors.emplace_back(name, value);
        return ParamErrorHandler::accept(name, value);
    }
    std::vector<std::pair<std::string, std::string>> errors;
};

// A value option whose accept can answer false.
class RefusingParam : public Param {
public:
    explicit RefusingParam(bool accepts) : m_accepts(accepts) {}
    bool accept(std::string, std::string value) override
    {
        values.push_back(value);
        return m_accepts;
    }
    std::vector<std::string> values;

private:
    bool m_accepts;
};

struct Fixture {
    explicit Fixture(OptionSyntax syntax = OptionSyntax::Posix) : parser(syntax)
    {
        parser.set_positional(&file);
        parser.set_error_handler(&errors);
        parser.add_param("key", &key);
        parser.add_param("wrapping", &wrapping);
        parser.add_param("version", &version);
        parser.add_flag("help", &help);
    }
    bool parse(std::vector<const char*> arguments)
    {
        arguments.insert(arguments.begin(), "kestrane");
        return parser.parse(static_cast<int>(arguments.size()), arguments.data());
    }
    // What the parse left in a field: "key", "wrapping", "version" and "help" (nullopt when absent),
    // "wrapping name", "file" and "file count".
    std::optional<std::string> field(const std::string& name) const
    {
        const auto value_of = [](const auto& param) {
            return param.present() ? std::optional<std::string>(param.value()) : std::nullopt;
        };
        if (name == "key")
            return value_of(key);
        if (name == "wrapping")
            return value_of(wrapping);
        if (name == "version")
            return value_of(version);
        if (name == "help")
            return help.present() ? std::optional<std::string>("") : std::nullopt;
        if (name == "wrapping name")
            return wrapping.name();
        if (name == "file count")
            return std::to_string(file.count());
        return file.value();
    }
    PositionalParam file;
    RecordingErrorHandler errors;
    ValueParam key, wrapping, version;
    FlagParam help;
    ParamParser parser;
};

using Errors = std::vector<std::pair<std::string, std::string>>;
constexpr auto kAbsent = std::nullopt;

} // namespace

// Each parse of the fixture's options: its result, the errors reported, and the fields it left.
TEST(ParamParser, Parses)
{
    const auto posix = OptionSyntax::Posix, windows = OptionSyntax::Windows;
    const struct {
        OptionSyntax syntax;
        bool double_dash;
        std::vector<const char*> arguments;
        bool parsed;
        Errors errors;
        std::vector<std::pair<std::string, std::optional<std::string>>> fields;
    } cases[] = {
        // No arguments leave everything empty.
        {posix, false, {}, true, {}, {{"key", kAbsent}, {"file", ""}}},
        // The value in the next argument or after a colon.
        {posix,
         false,
         {"-wrapping", "kernel", "--key", "/keys/acme.wrp", "/fw/image.krn"},
         true,
         {},
         {{"wrapping name", "wrapping"}, {"wrapping", "kernel"}, {"key", "/keys/acme.wrp"}, {"file", "/fw/image.krn"}}},
        {posix,
         false,
         {"-key:a:b", "--version:-1", "-wrapping:"},
         true,
         {},
         {{"key", "a:b"}, {"version", "-1"}, {"wrapping", ""}}},
        {windows,
         false,
         {"/wrapping:kernel", "/key:C:\\keys\\company.wrp", "C:\\fw\\image.krn"},
         true,
         {},
         {{"key", "C:\\keys\\company.wrp"}, {"file", "C:\\fw\\image.krn"}}},
        // An option without its value; the parse stops at the first error.
        {posix, false, {"-key"}, false, {{"PARAM_NO_VALUE", "key"}}, {}},
        {posix, false, {"-key", "-version", "1"}, false, {{"PARAM_NO_VALUE", "key"}}, {{"version", kAbsent}}},
        // On POSIX an absolute path is a value, not an option.
        {posix, false, {"-key", "/keys/a.wrp"}, true, {}, {}},
        {windows, false, {"-key", "/keys/a.wrp"}, false, {{"PARAM_NO_VALUE", "key"}}, {}},
        // Unknown options.
        {posix, false, {"-KEY", "x"}, false, {{"UNKNOWN_PARAM", "KEY"}}, {}}, // names are case-sensitive
        {posix, false, {"-"}, false, {{"UNKNOWN_PARAM", ""}}, {}},            // the empty option
        {posix, false, {"--"}, false, {{"UNKNOWN_PARAM", ""}}, {}},
        {posix, false, {"-nokey:value"}, false, {{"UNKNOWN_PARAM", "nokey"}}, {}}, // split at ':' into an unknown key
        {posix, false, {"-key=x"}, false, {{"UNKNOWN_PARAM", "key=x"}}, {}},
        {windows, false, {"/key=x"}, false, {{"UNKNOWN_PARAM", "key=x"}}, {}},
        {windows, false, {"/data/fw.bin"}, false, {{"UNKNOWN_PARAM", "data/fw.bin"}}, {}},
        // The double-dash conventions, when enabled.
        {posix,
         true,
         {"--key=a=b:c", "--version:x=y", "x", "--", "-wrapping", "--"},
         true,
         {},
         {{"key", "a=b:c"}, {"version", "x=y"}, {"wrapping", kAbsent}, {"file", "--"}, {"file count", "3"}}},
        {posix, true, {"-key=x"}, false, {{"UNKNOWN_PARAM", "key=x"}}, {}},
        {posix, true, {"--nokey=x"}, false, {{"UNKNOWN_PARAM", "nokey"}}, {}},
        // An error stops the parse but keeps the earlier values.
        {posix,
         false,
         {"-key", "k.wrp", "-bad", "-version", "1"},
         false,
         {{"UNKNOWN_PARAM", "bad"}},
         {{"key", "k.wrp"}, {"version", kAbsent}}},
        // The last value wins.
        {posix, false, {"a", "-key", "1", "b", "-key:2"}, true, {}, {{"file", "b"}, {"key", "2"}}},
        // Flags take no value and are not split at a colon.
        {posix, false, {"-help", "file"}, true, {}, {{"help", ""}, {"file", "file"}}},
        {posix, false, {"-help:x"}, false, {{"UNKNOWN_PARAM", "help"}}, {}},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const char* argument : c.arguments)
            trace += std::string(argument) + " ";
        SCOPED_TRACE(trace);
        Fixture f(c.syntax);
        f.parser.set_double_dash_conventions(c.double_dash);
        EXPECT_EQ(f.parse(c.arguments), c.parsed);
        EXPECT_EQ(f.errors.errors, c.errors);
        for (const auto& [name, value] : c.fields)
            EXPECT_EQ(f.field(name), value) << name;
    }
}

TEST(ParamParser, NonOptionWithoutPositionalFailsSilently)
{
    RecordingErrorHandler errors;
    ParamParser parser(OptionSyntax::Posix);
    parser.set_error_handler(&errors);
    const char* argv[] = {"kestrane", "file"};
    EXPECT_FALSE(parser.parse(2, argv));
    EXPECT_TRUE(errors.errors.empty());
}

TEST(ParamParser, RefusedAcceptDoesNotStopTheParse)
{
    Fixture f;
    RefusingParam refusing(false);
    f.parser.add_param("refuse", &refusing);
    EXPECT_FALSE(f.parse({"-refuse", "x", "-key", "k"}));
    EXPECT_EQ(refusing.values, std::vector<std::string>{"x"});
    EXPECT_EQ(f.key.value(), "k");
    EXPECT_TRUE(f.errors.errors.empty());
}

TEST(ParamParser, StripOptionPrefixPerSyntax)
{
    const ParamParser posix(OptionSyntax::Posix), windows(OptionSyntax::Windows);
    struct Case {
        const char* text;
        bool posix_option;
        const char* posix_rest;
        bool windows_option;
        const char* windows_rest;
    };
    const Case cases[] = {
        {"--key", true, "key", true, "key"}, {"-key", true, "key", true, "key"},
        {"/key", false, "/key", true, "key"}, {"key", false, "key", false, "key"},
        {"-", true, "", true, ""},            {"---x", true, "-x", true, "-x"},
        {"", false, "", false, ""},
    };
    for (const Case& c : cases) {
        std::string a = c.text, b = c.text;
        EXPECT_EQ(posix.strip_option_prefix(a), c.posix_option) << c.text;
        EXPECT_EQ(a, c.posix_rest);
        EXPECT_EQ(windows.strip_option_prefix(b), c.windows_option) << c.text;
        EXPECT_EQ(b, c.windows_rest);
    }
}

TEST(ParamParser, ErrorHandlerAnswers)
{
    ParamErrorHandler handler;
    EXPECT_FALSE(handler.accept("UNKNOWN_PARAM", "x"));
    EXPECT_FALSE(handler.accept("PARAM_NO_VALUE", "x"));
    EXPECT_TRUE(handler.accept("OTHER", "x"));
}
