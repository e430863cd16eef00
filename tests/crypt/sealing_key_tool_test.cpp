#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane::test;

namespace {

ProcessResult embed(const std::string& key, const std::string& output)
{
    return run_process(KESTRANE_EMBED_TOOL, {key, output});
}

std::string public_half(const TempDir& dir, const std::vector<std::string>& genrsa_options, const std::string& name)
{
    std::vector<std::string> arguments = {"genpkey", "-algorithm", "RSA", "-out", dir.file(name + ".key")};
    arguments.insert(arguments.end(), genrsa_options.begin(), genrsa_options.end());
    EXPECT_EQ(run_process("openssl", arguments).exit_code, 0);
    EXPECT_EQ(run_process("openssl", {"rsa", "-in", dir.file(name + ".key"), "-pubout", "-out", dir.file(name + ".pem")}).exit_code, 0);
    return dir.file(name + ".pem");
}

} // namespace

TEST(SealingKeyTool, AcceptsTheDevelopmentKey)
{
    TempDir dir;
    const ProcessResult result = embed(KESTRANE_DEVELOPMENT_KEY, dir.file("key.cpp"));
    EXPECT_EQ(result.exit_code, 0) << result.standard_error;
    EXPECT_FALSE(read_bytes(dir.file("key.cpp")).empty());
}

TEST(SealingKeyTool, RefusesOtherSizesExponentsAndText)
{
    TempDir dir;
    const std::string large = public_half(dir, {"-pkeyopt", "rsa_keygen_bits:2048"}, "large");
    const std::string exponent3 = public_half(dir, {"-pkeyopt", "rsa_keygen_bits:1024", "-pkeyopt", "rsa_keygen_pubexp:3"}, "e3");
    write_text(dir.file("junk.pem"), "not a key\n");

    const std::pair<std::string, std::string> cases[] = {
        {large, "2048 bits; the sealing key must be RSA-1024"},
        {exponent3, "public exponent is not 65537"},
        {dir.file("junk.pem"), "not an RSA public key in PEM"},
        {dir.file("absent.pem"), "not an RSA public key in PEM"},
    };
    for (const auto& [key, complaint] : cases) {
        const ProcessResult result = embed(key, dir.file("out.cpp"));
        EXPECT_NE(result.exit_code, 0) << key;
        EXPECT_NE(result.standard_error.find(complaint), std::string::npos) << result.standard_error;
    }
}
