#include "cli/param_parser.h"

#include <gtest/gtest.h>

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
    }
    bool parse(std::vector<const char*> arguments)
    {
        arguments.insert(arguments.begin(), "kestrane");
        return parser.parse(static_cast<int>(arguments.size()), arguments.data());
    }
    PositionalParam file;
    RecordingErrorHandler errors;
    ValueParam key, wrapping, version;
    ParamParser parser;
};

using Errors = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST(ParamParser, NoArgumentsLeavesEverythingEmpty)
{
    Fixture f;
    EXPECT_TRUE(f.parse({}));
    EXPECT_FALSE(f.key.present());
    EXPECT_EQ(f.file.value(), "");
    EXPECT_TRUE(f.errors.errors.empty());
}

TEST(ParamParser, ValueInNextArgumentOrAfterColon)
{
    Fixture f;
    EXPECT_TRUE(f.parse({"-wrapping", "kernel", "--key", "/keys/acme.wrp", "/fw/image.krn"}));
    EXPECT_EQ(f.wrapping.name(), "wrapping");
    EXPECT_EQ(f.wrapping.value(), "kernel");
    EXPECT_EQ(f.key.value(), "/keys/acme.wrp");
    EXPECT_EQ(f.file.value(), "/fw/image.krn");

    Fixture g;
    EXPECT_TRUE(g.parse({"-key:a:b", "--version:-1", "-wrapping:"}));
    EXPECT_EQ(g.key.value(), "a:b");
    EXPECT_EQ(g.version.value(), "-1");
    EXPECT_TRUE(g.wrapping.present());
    EXPECT_EQ(g.wrapping.value(), "");

    Fixture h(OptionSyntax::Windows);
    EXPECT_TRUE(h.parse({"/wrapping:kernel", "/key:C:\\keys\\company.wrp", "C:\\fw\\image.krn"}));
    EXPECT_EQ(h.key.value(), "C:\\keys\\company.wrp");
    EXPECT_EQ(h.file.value(), "C:\\fw\\image.krn");
}

TEST(ParamParser, OptionWithoutValue)
{
    Fixture f;
    EXPECT_FALSE(f.parse({"-key"}));
    EXPECT_EQ(f.errors.errors, (Errors{{"PARAM_NO_VALUE", "key"}}));

    Fixture g;
    EXPECT_FALSE(g.parse({"-key", "-version", "1"}));
    EXPECT_EQ(g.errors.errors, (Errors{{"PARAM_NO_VALUE", "key"}}));
    EXPECT_FALSE(g.version.present()); // stopped at the first error

    // On POSIX an absolute path is a value, not an option.
    Fixture h;
    EXPECT_TRUE(h.parse({"-key", "/keys/a.wrp"}));
    Fixture w(OptionSyntax::Windows);
    EXPECT_FALSE(w.parse({"-key", "/keys/a.wrp"}));
    EXPECT_EQ(w.errors.errors, (Errors{{"PARAM_NO_VALUE", "key"}}));
}

TEST(ParamParser, UnknownOptions)
{
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"-KEY", "x"}, "KEY"},      // names are case-sensitive
        {{"-"}, ""},                 // the empty option
        {{"--"}, ""},
        {{"-nokey:value"}, "nokey"}, // split at ':' into an unknown key
        {{"-key=x"}, "key=x"},
    };
    for (const auto& [arguments, name] : cases) {
        Fixture f;
        EXPECT_FALSE(f.parse(arguments));
        EXPECT_EQ(f.errors.errors, (Errors{{"UNKNOWN_PARAM", name}})) << arguments[0];
    }
    Fixture w(OptionSyntax::Windows);
    EXPECT_FALSE(w.parse({"/key=x"}));
    EXPECT_EQ(w.errors.errors, (Errors{{"UNKNOWN_PARAM", "key=x"}}));
    Fixture path(OptionSyntax::Windows);
    EXPECT_FALSE(path.parse({"/data/fw.bin"}));
    EXPECT_EQ(path.errors.errors, (Errors{{"UNKNOWN_PARAM", "data/fw.bin"}}));
}

TEST(ParamParser, DoubleDashConventionsWhenEnabled)
{
    Fixture f;
    f.parser.set_double_dash_conventions(true);
    EXPECT_TRUE(f.parse({"--key=a=b:c", "--version:x=y", "x", "--", "-wrapping", "--"}));
    EXPECT_EQ(f.key.value(), "a=b:c");
    EXPECT_EQ(f.version.value(), "x=y");
    EXPECT_FALSE(f.wrapping.present());
    EXPECT_EQ(f.file.value(), "--");
    EXPECT_EQ(f.file.count(), 3u);

    for (const char* single : {"-key=x", "--nokey=x"}) {
        Fixture g;
        g.parser.set_double_dash_conventions(true);
        EXPECT_FALSE(g.parse({single})) << single;
        EXPECT_EQ(g.errors.errors.at(0).first, "UNKNOWN_PARAM");
    }
}

TEST(ParamParser, ErrorStopsTheParseButKeepsEarlierValues)
{
    Fixture f;
    EXPECT_FALSE(f.parse({"-key", "k.wrp", "-bad", "-version", "1"}));
    EXPECT_EQ(f.key.value(), "k.wrp");
    EXPECT_FALSE(f.version.present());
}

TEST(ParamParser, LastValueWins)
{
    Fixture f;
    EXPECT_TRUE(f.parse({"a", "-key", "1", "b", "-key:2"}));
    EXPECT_EQ(f.file.value(), "b");
    EXPECT_EQ(f.key.value(), "2");
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

TEST(ParamParser, FlagsTakeNoValueAndAreNotSplitAtColon)
{
    Fixture f;
    FlagParam help;
    f.parser.add_flag("help", &help);
    EXPECT_TRUE(f.parse({"-help", "file"}));
    EXPECT_TRUE(help.present());
    EXPECT_EQ(f.file.value(), "file");

    Fixture g;
    FlagParam flag;
    g.parser.add_flag("help", &flag);
    EXPECT_FALSE(g.parse({"-help:x"}));
    EXPECT_EQ(g.errors.errors, (Errors{{"UNKNOWN_PARAM", "help"}}));
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
