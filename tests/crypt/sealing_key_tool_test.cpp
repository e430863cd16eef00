#include "crypt/sealing_key.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane::test;

namespace {

ProcessResult embed(const std::string& key, const std::string& output, bool release = false)
{
    std::vector<std::string> arguments = {key, KESTRANE_DEVELOPMENT_KEY, output};
    if (release)
        arguments.insert(arguments.begin(), "--release");
    return run_process(KESTRANE_EMBED_TOOL, arguments);
}

std::string public_half(const TempDir& dir, const std::vector<std::string>& genrsa_options, const std::string& name)
{
    std::vector<std::string> arguments = {"genpkey", "-algorithm", "RSA", "-out", dir.file(name + ".key")};
    arguments.insert(arguments.end(), genrsa_options.begin(), genrsa_options.end());
    EXPECT_EQ(run_process("openssl", arguments).exit_code, 0);
    EXPECT_EQ(run_process("openssl", {"rsa", "-in", dir.file(name + ".key"), "-pubout", "-out", dir.file(name + ".pem")}).exit_code, 0);
    return dir.file(name + ".pem");
}

std::string text_of(const std::string& path)
{
    const Bytes bytes = read_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(SealingKey, TheTestsCarryTheDevelopmentKeyAndItsFingerprint)
{
    EXPECT_EQ(kestrane::sealing_key_fingerprint(), openssl_key_fingerprint(KESTRANE_DEVELOPMENT_KEY));
    EXPECT_TRUE(kestrane::is_development_sealing_key());
}

TEST(SealingKeyTool, EmitsFingerprintAndWhetherItIsTheDevelopmentKey)
{
    TempDir dir;
    const std::string maker = public_half(dir, {"-pkeyopt", "rsa_keygen_bits:1024"}, "maker");
    const std::pair<std::string, bool> cases[] = {{KESTRANE_DEVELOPMENT_KEY, true}, {maker, false}};
    for (const auto& [key, development] : cases) {
        const ProcessResult result = embed(key, dir.file("key.cpp"));
        ASSERT_EQ(result.exit_code, 0) << result.standard_error;
        const std::string source = text_of(dir.file("key.cpp"));
        EXPECT_NE(source.find('"' + openssl_key_fingerprint(key) + '"'), std::string::npos) << source;
        EXPECT_NE(source.find(development ? "return true;" : "return false;"), std::string::npos) << source;
    }
}

// A release takes the maker's key and refuses the development key, also in another PEM form.
TEST(SealingKeyTool, ReleaseRefusesTheDevelopmentKey)
{
    TempDir dir;
    const std::string maker = public_half(dir, {"-pkeyopt", "rsa_keygen_bits:1024"}, "maker");
    const std::string pkcs1 = dir.file("development-pkcs1.pem");
    ASSERT_EQ(run_process("openssl", {"rsa", "-pubin", "-in", KESTRANE_DEVELOPMENT_KEY, "-RSAPublicKey_out",
                                      "-out", pkcs1}).exit_code, 0);

    const ProcessResult accepted = embed(maker, dir.file("maker.cpp"), true);
    EXPECT_EQ(accepted.exit_code, 0) << accepted.standard_error;
    EXPECT_NE(accepted.standard_output.find(openssl_key_fingerprint(maker)), std::string::npos) << accepted.standard_output;
    for (const std::string& key : {std::string(KESTRANE_DEVELOPMENT_KEY), pkcs1}) {
        const ProcessResult result = embed(key, dir.file("out.cpp"), true);
        EXPECT_NE(result.exit_code, 0) << key;
        EXPECT_NE(result.standard_error.find("this is the development key"), std::string::npos) << result.standard_error;
    }
    // Without --release the same PKCS#1 form is read and recognised.
    ASSERT_EQ(embed(pkcs1, dir.file("dev.cpp")).exit_code, 0);
    EXPECT_NE(text_of(dir.file("dev.cpp")).find("return true;"), std::string::npos);
}

TEST(SealingKeyTool, RefusesOtherSizesExponentsPrivateKeysAndText)
{
    TempDir dir;
    const std::string large = public_half(dir, {"-pkeyopt", "rsa_keygen_bits:2048"}, "large");
    const std::string exponent3 = public_half(dir, {"-pkeyopt", "rsa_keygen_bits:1024", "-pkeyopt", "rsa_keygen_pubexp:3"}, "e3");
    public_half(dir, {"-pkeyopt", "rsa_keygen_bits:1024"}, "private");
    write_text(dir.file("junk.pem"), "not a key\n");

    const std::pair<std::string, std::string> cases[] = {
        {large, "2048 bits; the sealing key must be RSA-1024"},
        {exponent3, "public exponent is not 65537"},
        {dir.file("private.key"), "a private key; the build takes the public half only"},
        {dir.file("junk.pem"), "not an RSA public key in PEM"},
        {dir.file("absent.pem"), "not an RSA public key in PEM"},
    };
    for (const auto& [key, complaint] : cases) {
        const ProcessResult result = embed(key, dir.file("out.cpp"));
        EXPECT_NE(result.exit_code, 0) << key;
        EXPECT_NE(result.standard_error.find(complaint), std::string::npos) << result.standard_error;
    }
}
