#include "ops/encryption.h"

#include "common/paths.h"
#include "crypt/company_key_file.h"
#include "settings/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using EncryptionTest = IsolatedSettings;

} // namespace

TEST_F(EncryptionTest, ModeSelection)
{
    EXPECT_FALSE(use_new_encrypt_mode("FRM0"));
    EXPECT_TRUE(use_new_encrypt_mode("RAW0"));
    EXPECT_TRUE(use_new_encrypt_mode("raw0"));
    write_encrypt_mode_setting(1);
    EXPECT_TRUE(use_new_encrypt_mode("FRM0"));
    write_encrypt_mode_setting(0);
    EXPECT_FALSE(use_new_encrypt_mode("PKG0"));
}

TEST_F(EncryptionTest, EncryptWrappedFileMessagesAndModes)
{
    TempDir work;
    const std::string key_file = work.file("acme.wrp");
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", key_file), 1);
    const Bytes key = {0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    const Bytes firmware = plain_tagged_bytes("FRM0", pattern_bytes(2000, 4));
    const Bytes raw = plain_tagged_bytes("RAW0", pattern_bytes(200, 5));
    write_bytes(work.file("fw.wrp"), firmware);
    write_bytes(work.file("raw.wrp"), raw);

    RecordingFrontEnd recorder;
    const std::string out = work.file("fw.wrp-Acme.enc");
    EXPECT_EQ(encrypt_wrapped_file(recorder, key_file, work.file("fw.wrp"), out), 1);
    EXPECT_TRUE(package_matches(read_bytes(out), firmware, "ENCR", "Acme", key));

    EXPECT_EQ(encrypt_wrapped_file(recorder, key_file, work.file("raw.wrp"), work.file("raw.enc")), 1);
    EXPECT_TRUE(package_matches(read_bytes(work.file("raw.enc")), raw, "ENC1", "Acme", key));

    write_encrypt_mode_setting(1); // seen by the next encryption at once
    EXPECT_EQ(encrypt_wrapped_file(recorder, key_file, work.file("fw.wrp"), out), 1);
    EXPECT_TRUE(package_matches(read_bytes(out), firmware, "ENC1", "Acme", key));

    EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                       "Success to encrypt file. [path:" + out + "]",
                                       "Success to encrypt file. [path:" + work.file("raw.enc") + "]",
                                       "Success to encrypt file. [path:" + out + "]"}));
}

TEST_F(EncryptionTest, EncryptWrappedFileFailures)
{
    TempDir work;
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", work.file("acme.wrp")), 1);
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Seventeen-chars!!", work.file("long.wrp")), 1);
    write_bytes(work.file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(100, 4)));
    Bytes encrypted = plain_tagged_bytes("FRM0", pattern_bytes(100, 4));
    std::copy_n("ENCR", 4, encrypted.begin() + 4);
    write_bytes(work.file("fw.enc"), encrypted);

    RecordingFrontEnd recorder;
    EXPECT_EQ(encrypt_wrapped_file(recorder, work.file("none.wrp"), work.file("fw.wrp"), work.file("o1")), -1);
    EXPECT_EQ(encrypt_wrapped_file(recorder, work.file("long.wrp"), work.file("fw.wrp"), work.file("o2")), -1);
    EXPECT_EQ(encrypt_wrapped_file(recorder, work.file("acme.wrp"), work.file("fw.enc"), work.file("o3")), -1);
    EXPECT_EQ(encrypt_wrapped_file(recorder, work.file("acme.wrp"), work.file("missing"), work.file("o4")), -1);
    EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                       "Could not load vid from vid.wrp",
                                       "Company name error",
                                       "encrypt_package() Failed with error [-1]",
                                       "encrypt_package() Failed with error [-2]"}));
    for (const char* name : {"o1", "o2", "o3", "o4"})
        EXPECT_FALSE(path_exists(work.file(name))) << name;
}

// Two companies encrypted at the same time in one process, each from its own key file: every
// package must carry its own company's key in its key block and under its tag.
TEST_F(EncryptionTest, TwoCompaniesAtOnceEachGetTheirOwnKey)
{
    TempDir work;
    struct Company {
        std::string name;
        std::string hex_key;
        Bytes key;
    };
    const Company companies[] = {{"Acme", "0000A1A2A3A4A5A6", {0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}},
                                 {"Other", "0000B1B2B3B4B5B6", {0, 0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6}}};
    const Bytes firmware = plain_tagged_bytes("FRM0", pattern_bytes(300000, 8));
    write_bytes(work.file("fw.wrp"), firmware);
    for (const Company& company : companies)
        ASSERT_EQ(write_company_key_file(company.hex_key, company.name, work.file(company.name + ".key")), 1);

    constexpr int kRounds = 6;
    std::latch start(2);
    const auto encrypt_rounds = [&](const Company& company) {
        start.arrive_and_wait();
        for (int round = 0; round < kRounds; ++round) {
            const std::string output = work.file(company.name + std::to_string(round) + ".enc");
            RecordingFrontEnd front; // one each: a front end is not shared between threads
            EXPECT_EQ(encrypt_for_company(front, work.file(company.name + ".key"), work.file("fw.wrp"), output), 1);
        }
    };
    std::thread first(encrypt_rounds, std::cref(companies[0]));
    std::thread second(encrypt_rounds, std::cref(companies[1]));
    first.join();
    second.join();

    for (const Company& company : companies) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(company.name + " round " + std::to_string(round));
            const Bytes package = read_bytes(work.file(company.name + std::to_string(round) + ".enc"));
            EXPECT_TRUE(package_matches(package, firmware, "ENCR", company.name, company.key));
        }
    }
}
