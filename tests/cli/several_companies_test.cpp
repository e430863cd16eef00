// One wrapped file encrypted for several companies in one run (-key repeated, -keys FOLDER): each
// package opens with its own company's key, and a run that fails for any company writes none.
#include "cli/command_start.h"
#include "common/progress.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using Lines = std::vector<std::string>;

class CancellingPresenter : public ProgressPresenter {
public:
    void start(const std::string&) override {}
    void update(int) override {}
    void stop() override {}
    bool cancel_requested() const override { return true; }
    bool shows_at_once() const override { return true; }
};

class SeveralCompanies : public IsolatedSettings {
protected:
    void SetUp() override
    {
        IsolatedSettings::SetUp();
        ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", m_work.file("acme.wrp")), 1);
        ASSERT_EQ(write_company_key_file("0000B1B2B3B4B5B6", "Other", m_work.file("other.wrp")), 1);
        write_bytes(m_work.file("fw.wrp"), m_input);
    }

    // Runs kestrane-cli in process with the arguments: its exit status; the messages in m_messages.
    int run(const Lines& arguments, bool cancel = false, int64_t write_limit = -1)
    {
        FaultyIo io(write_limit);
        const CommandStart start(ProgramKind::CommandLineOnly, arguments, io);
        CancellingPresenter cancelling;
        RecordingFrontEnd front;
        if (cancel)
            front.presenter = &cancelling;
        const int status = start.run(front);
        m_messages.insert(m_messages.end(), front.messages().begin(), front.messages().end());
        return status;
    }

    TempDir m_work;
    const Bytes m_input = plain_tagged_bytes("FRM0", pattern_bytes(3 << 20, 7)); // three blocks and more
    Lines m_messages;
};

const Bytes kAcmeKey = {0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
const Bytes kOtherKey = {0, 0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6};

} // namespace

TEST_F(SeveralCompanies, EachPackageOpensWithItsOwnCompanysKey)
{
    const std::string out = m_work.file("out");
    QDir().mkpath(QString::fromStdString(out));
    QDir().mkpath(QString::fromStdString(m_work.file("keys")));
    write_text(m_work.file("keys/notes.txt"), "not a key");
    ASSERT_EQ(write_company_key_file("0000B1B2B3B4B5B6", "Other", m_work.file("keys/other.wrp")), 1);

    ASSERT_EQ(run({"-key", m_work.file("acme.wrp"), "-keys", m_work.file("keys"), "-dest", out, m_work.file("fw.wrp")}),
              0);
    EXPECT_TRUE(package_matches(read_bytes(out + "/fw.wrp-Acme.enc"), m_input, "ENCR", "Acme", kAcmeKey));
    EXPECT_TRUE(package_matches(read_bytes(out + "/fw.wrp-Other.enc"), m_input, "ENCR", "Other", kOtherKey));
    EXPECT_EQ(m_messages,
              (Lines{"Not a company key file, skipped[path:" + m_work.file("keys/notes.txt") + "]",
                     "Success to encrypt file. [path:" + out + "/fw.wrp-Acme.enc]", "Success encrypt",
                     "Success to encrypt file. [path:" + out + "/fw.wrp-Other.enc]", "Success encrypt"}));
}

TEST_F(SeveralCompanies, WrapOnceThenOnePackagePerCompany)
{
    write_bytes(m_work.file("tool.bin"), pattern_bytes(2 << 20, 3));
    ASSERT_EQ(run({"-wrapping", "raw", "-version", "2.0", "-key", m_work.file("acme.wrp"), "-key",
                   m_work.file("other.wrp"), m_work.file("tool.bin")}),
              0);
    const Bytes wrapped = read_bytes(m_work.file("tool.bin.wrp"));
    EXPECT_TRUE(package_matches(read_bytes(m_work.file("tool.bin.wrp-Acme.enc")), wrapped, "ENC1", "Acme", kAcmeKey));
    EXPECT_TRUE(
        package_matches(read_bytes(m_work.file("tool.bin.wrp-Other.enc")), wrapped, "ENC1", "Other", kOtherKey));
}

// Whatever fails, for whichever company: no new package, the existing one byte for byte as it was.
TEST_F(SeveralCompanies, AllOrNothing)
{
    ASSERT_EQ(write_company_key_file("0000C1C2C3C4C5C6", "Acme", m_work.file("acme-too.wrp")), 1);
    write_text(m_work.file("bad.wrp"), "no key file");
    QDir().mkpath(QString::fromStdString(m_work.file("empty")));
    const auto package_size = static_cast<int64_t>(m_input.size() + 256); // "ENCR": 284 bytes more than L + 20
    const std::string acme = m_work.file("acme.wrp"), other = m_work.file("other.wrp"), fw = m_work.file("fw.wrp");
    struct Case {
        const char* what;
        Lines arguments;
        int64_t write_limit; // bytes the disk takes (-1: no limit)
        bool cancel;
        int exit_status;
        std::string message; // the start of a message the run shows
    };
    const Case cases[] = {
        {"bad key file among good ones",
         {"-key", acme, "-key", m_work.file("bad.wrp"), "-key", other, fw},
         -1,
         false,
         1,
         "invalid company key file[file:" + m_work.file("bad.wrp") + "]"},
        // Room for all but the last byte: Acme's package is complete, Other's tag does not fit.
        {"full disk",
         {"-key", acme, "-key", other, fw},
         2 * package_size - 1,
         false,
         1,
         "No package written: the encryption for company[Other] failed"},
        {"cancel", {"-key", acme, "-key", other, fw}, -1, true, 1, "encrypt_package() Failed with error [-20]"},
        {"two key files of one company",
         {"-key", acme, "-key", other, "-key", m_work.file("acme-too.wrp"), fw},
         -1,
         false,
         2,
         ""},
        {"a key folder without key files",
         {"-key", acme, "-keys", m_work.file("empty"), fw},
         -1,
         false,
         1,
         "No company key file in folder[path:" + m_work.file("empty") + "]"},
        {"-dest that is no folder",
         {"-key", acme, "-key", other, "-dest", m_work.file("x.enc"), fw},
         -1,
         false,
         1,
         "-dest must be a folder when encrypting for several companies"},
    };
    write_text(m_work.file("fw.wrp-Acme.enc"), "the package of the last release");
    const std::vector<std::string> before = m_work.entries();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_messages.clear();
        const int status = run(c.arguments, c.cancel, c.write_limit);
        EXPECT_EQ(status, c.exit_status);
        if (!c.message.empty()) {
            EXPECT_TRUE(std::any_of(m_messages.begin(), m_messages.end(), [&](const std::string& m) {
                return m.rfind(c.message, 0) == 0;
            })) << testing::PrintToString(m_messages);
        }
        EXPECT_EQ(m_work.entries(), before);
        EXPECT_EQ(read_bytes(m_work.file("fw.wrp-Acme.enc")), bytes_of("the package of the last release"));
    }
}
