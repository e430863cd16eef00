#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrane;

namespace {

std::optional<CommandLine> parsed(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "kestrane");
    return parse_command_line(static_cast<int>(arguments.size()), arguments.data(), OptionSyntax::Posix);
}

Operation operation_of(std::vector<const char*> arguments)
{
    const auto command_line = parsed(std::move(arguments));
    return command_line ? select_operation(*command_line) : Operation::Dialogs;
}

} // namespace

TEST(CommandLine, ProgramOptions)
{
    const auto c = parsed({"--key", "/k.wrp", "-version:", "image.krn"});
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->key.given);
    EXPECT_EQ(c->key.value, "/k.wrp");
    EXPECT_FALSE(c->wrapping.given);
    EXPECT_TRUE(c->version.given);
    EXPECT_EQ(c->version.value, "");
    EXPECT_EQ(c->file_argument, "image.krn");
    EXPECT_FALSE(parsed({"-KEY", "x.wrp", "file.wrp"}));
    EXPECT_FALSE(parsed({"-help:x"}));
}

TEST(CommandLine, ModeTable)
{
    EXPECT_EQ(operation_of({}), Operation::Dialogs);
    EXPECT_EQ(operation_of({"file.wrp"}), Operation::Dialogs);
    EXPECT_EQ(operation_of({"-version", "1.0"}), Operation::Dialogs);
    EXPECT_EQ(operation_of({"-KEY", "x.wrp", "file.wrp"}), Operation::Dialogs); // parse error
    EXPECT_EQ(operation_of({"-key"}), Operation::Dialogs);                      // no value
    EXPECT_EQ(operation_of({"-key", "k.wrp"}), Operation::Encrypt);
    EXPECT_EQ(operation_of({"-key", "k.wrp", "-version", "1", "f"}), Operation::Encrypt);
    EXPECT_EQ(operation_of({"-wrapping", "kernel"}), Operation::Wrap);
    EXPECT_EQ(operation_of({"-wrapping", "kernel", "-key", "k", "f"}), Operation::Wrap);
}

TEST(CommandLine, BuildServerOperations)
{
    EXPECT_EQ(operation_of({"-info", "f.enc"}), Operation::Info);
    EXPECT_EQ(operation_of({"-info", "f.enc", "-key", "k.wrp"}), Operation::Info);
    EXPECT_EQ(operation_of({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", "acme.wrp"}), Operation::GenerateKey);
    EXPECT_EQ(operation_of({"-pack", "dir"}), Operation::Pack);
    EXPECT_EQ(operation_of({"-pack", "dir", "-version", "1.0", "-dest", "p.wrp", "-key", "k"}), Operation::Pack);
    EXPECT_EQ(operation_of({"-verify", "f.enc", "-private", "k.pem", "-key", "k", "-dest", "w", "-json"}),
              Operation::Verify);
    EXPECT_EQ(operation_of({"-verify", "f.enc", "-private", "k.pem", "-passin", "env:PASS"}), Operation::Verify);
    EXPECT_EQ(operation_of({"-help"}), Operation::Help);
    EXPECT_EQ(operation_of({"--version"}), Operation::Version);
    EXPECT_EQ(operation_of({"-version"}), Operation::Version);
    EXPECT_EQ(operation_of({"--version", "x"}), Operation::Dialogs); // a version for nothing
    EXPECT_EQ(operation_of({"--version:1"}), Operation::Dialogs);
    EXPECT_EQ(operation_of({"--help", "-wrapping", "kernel"}), Operation::Help);
}

TEST(CommandLine, ConflictingCombinations)
{
    const std::vector<std::vector<const char*>> conflicts = {
        {"-wrapping", "kernel", "-info", "f"},
        {"-info", "f", "-pack", "d"},
        {"-genkey", "random", "-company", "A", "-pack", "d", "x"},
        {"-company", "Acme", "f"},
        {"-company", "Acme", "-key", "k", "f"},
        {"-dest", "p.wrp", "-info", "f"},
        {"-dest", "p.wrp", "-genkey", "random", "-company", "A", "x"},
        {"-dest", "p.wrp", "x"},
        {"-json", "-key", "k", "f"},
        {"-force", "-wrapping", "kernel", "f"},
        {"-wrapping", "ocx", "a", "b"},
        {"-key", "k", "a", "--", "-b"},
        {"-genkey", "random", "-company", "A", "-key", "k", "x"},
        {"-genkey", "random", "-company", "A", "-version", "1", "x"},
        {"-info", "f", "-version", "1"},
        {"-info", "f", "g"},
        {"-pack", "d", "stray"},
        {"-info", "f", "-manifest", "m"},
        {"-genkey", "random", "-company", "A", "-manifest", "m", "x"},
        {"-manifest", "m", "f"},
        {"-wrapping", "ocx", "-manifest:", "f"},
        {"-verify", "f", "-key", "k"},                               // no -private
        {"-verify", "f", "-private", "k", "-passin", "pass:secret"}, // a passphrase in an argument
        {"-verify", "f", "-private", "k", "-info", "g"},
        {"-verify", "f", "-private", "k", "stray"},
        {"-private", "k", "-key", "k", "f"},
    };
    for (const auto& arguments : conflicts)
        EXPECT_EQ(operation_of(arguments), Operation::Conflict) << arguments[0] << " " << arguments[2];
}

TEST(CommandLine, ConventionsOfBuildServers)
{
    EXPECT_EQ(operation_of({"-h"}), Operation::Help);
    EXPECT_EQ(operation_of({"-dest", "out.wrp", "-wrapping", "raw", "f"}), Operation::Wrap);
    EXPECT_EQ(operation_of({"-dest", "out.enc", "-key", "k", "f"}), Operation::Encrypt);
    EXPECT_EQ(operation_of({"-info", "f", "-json", "-batch"}), Operation::Info);
    EXPECT_EQ(operation_of({"-pack", "d", "-manifest", "m"}), Operation::Pack);
    EXPECT_EQ(operation_of({"-genkey", "random", "-company", "A", "x", "-force"}), Operation::GenerateKey);
    EXPECT_EQ(operation_of({"a", "b"}), Operation::Dialogs); // no operation: the file arguments select nothing
    EXPECT_EQ(operation_of({"--wrapping=ocx", "--", "-x"}), Operation::Wrap);
    EXPECT_EQ(operation_of({"--wrapping=ocx", "--", "-x", "--"}), Operation::Conflict);
}

TEST(CommandLine, UsageNamesEveryOptionWithAnExample)
{
    const std::string usage = usage_text();
    for (const char* option :
         {"-wrapping", "-key", "-version", "-info", "-genkey", "-company", "-pack", "-dest", "-help", "--version", "-h",
          "-json", "-batch", "-force", "raw", "-verify", "-private", "-passin"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    for (const char* example : {"kestrane -wrapping kernel", "kestrane -info", "kestrane -genkey", "kestrane -pack",
                                "kestrane -key", "kestrane -verify"})
        EXPECT_NE(usage.find(example), std::string::npos) << example;
}
