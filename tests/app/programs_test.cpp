// The programs as the build makes them: what --version says about the sealing key each carries,
// checked with openssl against the key files, and what the command-line program links.

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane::test;

namespace {

struct BuiltProgram {
    const char* name;
    const char* path;
    const char* key; // the PEM file of the sealing key it was built with
};

const BuiltProgram kPrograms[] = {
#ifdef KESTRANE_PRODUCT
    {"kestrane", KESTRANE_PRODUCT, KESTRANE_SEALING_KEY_FILE},
    {"kestrane", KESTRANE_TEST_PROGRAM, KESTRANE_DEVELOPMENT_KEY_FILE},
#endif
#ifdef KESTRANE_CLI_PRODUCT
    {"kestrane-cli", KESTRANE_CLI_PRODUCT, KESTRANE_SEALING_KEY_FILE},
    {"kestrane-cli", KESTRANE_CLI_TEST_PROGRAM, KESTRANE_DEVELOPMENT_KEY_FILE},
#endif
};

} // namespace

TEST(Programs, VersionNamesTheSealingKeyCarried)
{
    const std::string development = openssl_key_fingerprint(KESTRANE_DEVELOPMENT_KEY_FILE);
    for (const BuiltProgram& program : kPrograms) {
        SCOPED_TRACE(program.path);
        ProcessOptions options;
        options.unset = {"DISPLAY", "WAYLAND_DISPLAY"};
        const ProcessResult result = run_program(program.path, {"--version"}, options);
        EXPECT_EQ(result.exit_code, 0);
        const std::string fingerprint = openssl_key_fingerprint(program.key);
        std::vector<std::string> expected = {std::string(program.name) + " 1.2.3.0",
                                             "Sealing key fingerprint (SHA-256): " + fingerprint};
        if (fingerprint == development)
            expected.push_back("This program carries the development sealing key: not for release.");
        EXPECT_EQ(lines_of(result.standard_output), expected);
    }
}

#ifdef KESTRANE_CLI_PRODUCT
TEST(Programs, CommandLineProgramLinksNeitherQtWidgetsNorQtGui)
{
    const ProcessResult libraries = run_process("ldd", {KESTRANE_CLI_PRODUCT});
    ASSERT_EQ(libraries.exit_code, 0) << libraries.standard_error;
    EXPECT_NE(libraries.standard_output.find("libQt6Core"), std::string::npos);
    EXPECT_NE(libraries.standard_output.find("libcrypto"), std::string::npos);
    EXPECT_EQ(libraries.standard_output.find("libQt6Widgets"), std::string::npos) << libraries.standard_output;
    EXPECT_EQ(libraries.standard_output.find("libQt6Gui"), std::string::npos) << libraries.standard_output;
}
#endif
