#include "ops/encryption_alongside.h"

#include "common/paths.h"
#include "crypt/company_key_file.h"
#include "ops/encryption.h"
#include "settings/settings_store.h"
#include "support/test_support.h"
#include "wrap/wrapping.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class EncryptionAlongsideTest : public IsolatedSettings {
protected:
    void SetUp() override
    {
        IsolatedSettings::SetUp();
        ASSERT_EQ(write_company_key_file("0000C1C2C3C4C5C6", "Acme", key_file()), 1);
    }

    std::string key_file() const { return m_work.file("acme.wrp"); }

    // Wraps `source` as `type` with the package written alongside; the package path, or "".
    std::string wrap_alongside(unsigned type, const std::string& source)
    {
        EncryptionAlongside alongside(m_front);
        EXPECT_TRUE(alongside.prepare(key_file(), source + ".wrp-Acme.enc"));
        EXPECT_EQ(wrap_file(type, "3.1.4", source, source + ".wrp", alongside.observer()).code, 1);
        EXPECT_EQ(alongside.finish(), 1);
        return alongside.output_path();
    }

    TempDir m_work;
    RecordingFrontEnd m_front;
    const Bytes m_key = {0, 0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6};
};

} // namespace

TEST_F(EncryptionAlongsideTest, SameStructureAsWrapThenEncrypt)
{
    // Bodies below, at and above the sealed 1044 bytes, and one of several MiB.
    for (const size_t size : {size_t{0}, size_t{100}, size_t{888}, size_t{889}, size_t{1024}, size_t{5'000'000}}) {
        SCOPED_TRACE(size);
        const std::string source = m_work.file("fw.bin");
        write_bytes(source, pattern_bytes(size, static_cast<uint32_t>(size)));
        const std::string fused_path = wrap_alongside(kWrapOcx, source);
        const Bytes wrapped = read_bytes(source + ".wrp");
        const Bytes fused = read_bytes(fused_path);

        ASSERT_EQ(encrypt_wrapped_file(m_front, key_file(), source + ".wrp", m_work.file("sequential.enc")), 1);
        const Bytes sequential = read_bytes(m_work.file("sequential.enc"));

        ASSERT_EQ(fused.size(), sequential.size());
        EXPECT_TRUE(std::equal(fused.begin(), fused.begin() + 140, sequential.begin())); // same header
        const size_t body = fused.size() - 284;
        if (body > 1152) { // the same unsealed tail
            EXPECT_TRUE(std::equal(fused.begin() + 1292, fused.begin() + 140 + static_cast<std::ptrdiff_t>(body),
                                   sequential.begin() + 1292));
        }
        // Both open to the wrapped file's bytes with the private key, and both tags verify.
        EXPECT_TRUE(package_matches(fused, wrapped, "ENCR", "Acme", m_key));
        EXPECT_TRUE(package_matches(sequential, wrapped, "ENCR", "Acme", m_key));
    }
}

TEST_F(EncryptionAlongsideTest, RawTypeAndSettingChooseEnc1)
{
    const std::string source = m_work.file("any.bin");
    write_bytes(source, pattern_bytes(3000, 2));
    const std::string raw = wrap_alongside(kWrapRaw, source);
    EXPECT_TRUE(package_matches(read_bytes(raw), read_bytes(source + ".wrp"), "ENC1", "Acme", m_key));

    write_text(m_work.file("brand.conf"), "[brand]\nname=x\n");
    write_encrypt_mode_setting(1);
    const std::string brand = wrap_alongside(kWrapBrand, m_work.file("brand.conf"));
    EXPECT_TRUE(package_matches(read_bytes(brand), read_bytes(m_work.file("brand.conf.wrp")), "ENC1", "Acme", m_key));
    write_encrypt_mode_setting(0);
}

TEST_F(EncryptionAlongsideTest, NothingIsWrittenWhenTheWrapFails)
{
    write_text(m_work.file("notbrand.conf"), "x");
    EncryptionAlongside alongside(m_front);
    ASSERT_TRUE(alongside.prepare(key_file(), m_work.file("notbrand.conf.wrp-Acme.enc")));
    EXPECT_EQ(
        wrap_file(kWrapBrand, "1", m_work.file("notbrand.conf"), m_work.file("notbrand.conf.wrp"), alongside.observer())
            .code,
        -4);
    EXPECT_FALSE(path_exists(alongside.output_path()));
    EXPECT_FALSE(path_exists(m_work.file("notbrand.conf.wrp")));
}

TEST_F(EncryptionAlongsideTest, UnusableKeyFilesAreLeftToTheSequentialPath)
{
    EncryptionAlongside alongside(m_front);
    EXPECT_FALSE(alongside.prepare(m_work.file("absent.wrp"), m_work.file("x.wrp")));
    ASSERT_EQ(write_company_key_file("0000C1C2C3C4C5C6", "Seventeen-chars!!", m_work.file("long.wrp")), 1);
    EXPECT_FALSE(alongside.prepare(m_work.file("long.wrp"), m_work.file("x.wrp")));
    EXPECT_FALSE(alongside.observer());
}
