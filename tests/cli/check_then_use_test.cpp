// Files that change between the moment an operation checks them and the moment it uses them. The
// message an operation shows in between is the hook: the presenter changes the file there.

#include "cli/command_operations.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>
#include <unistd.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using Lines = std::vector<std::string>;

// Records every message and runs `hook` when the message `trigger` is shown.
class HookedPresenter : public RecordingFrontEnd {
public:
    HookedPresenter(std::string trigger, std::function<void()> hook)
        : m_trigger(std::move(trigger)), m_hook(std::move(hook))
    {}
    void show_message(const std::string& text, MessageIcon icon) override
    {
        RecordingFrontEnd::show_message(text, icon);
        if (text == m_trigger)
            m_hook();
    }

private:
    std::string m_trigger;
    std::function<void()> m_hook;
};

class CheckThenUse : public testing::Test {
protected:
    CheckThenUse() : m_release(m_dir.file("release")), m_key(m_dir.file("acme.wrp"))
    {
        QDir().mkpath(QString::fromStdString(m_release));
        EXPECT_EQ(write_company_key_file("0000A1B2C3D4E5F6", "Acme", m_key), 1);
    }

    // An encrypted package of the company Acme in the release folder.
    void make_package(const std::string& name, const std::string& type, uint32_t seed)
    {
        const std::string wrapped = m_dir.file(name + ".wrp");
        write_bytes(wrapped, plain_tagged_bytes(type, pattern_bytes(2000, seed), "1.5.2"));
        ASSERT_EQ(encrypt_package(wrapped, m_release + "/" + name, "Acme",
                                  {0x00, 0x00, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}, false),
                  1);
        QFile::remove(QString::fromStdString(wrapped));
    }

    TempDir m_dir;
    std::string m_release;
    std::string m_key;
};

// The key file is read to check its company before packing and read again to encrypt the package
// file; it is gone by then: the encryption fails with its message and writes nothing.
TEST_F(CheckThenUse, KeyFileGoneAfterItsCheck)
{
    make_package("viewer.enc", "OCX0", 1);
    const std::string destination = m_dir.file("release.wrp");
    for (const bool remove : {true, false}) {
        SCOPED_TRACE(remove ? "key file removed" : "key file cut short");
        ASSERT_EQ(write_company_key_file("0000A1B2C3D4E5F6", "Acme", m_key), 1);
        HookedPresenter presenter("Success", [&] {
            if (remove)
                ASSERT_EQ(unlink(m_key.c_str()), 0);
            else
                ASSERT_EQ(truncate(m_key.c_str(), 100), 0);
        });
        EXPECT_FALSE(run_pack_command(presenter, m_release, true, "1.0", true, destination, true, m_key));
        EXPECT_EQ(presenter.messages(), (Lines{"Success", "Could not load vid from vid.wrp"}));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(destination + "-Acme.pkg")));
        // The package file itself was finished before: whole, with its MD5 trailer.
        const Bytes package = read_bytes(destination);
        ASSERT_GT(package.size(), 16u);
        EXPECT_EQ(to_hex(package.data() + package.size() - 16, 16),
                  openssl_md5_hex(Bytes(package.begin(), package.end() - 16)));
    }
}

// A package admitted by the scan is gone when packing reads it: nothing is written.
TEST_F(CheckThenUse, PackageGoneBetweenScanAndPacking)
{
    make_package("a.enc", "OCX0", 2);
    make_package("b.enc", "OCX0", 3); // the scan's duplicate message is the hook
    const std::string destination = m_dir.file("release.wrp");
    write_text(destination, "old package file");
    const std::string first = m_release + "/a.enc";
    const std::string duplicate = "Duplicate protect file[" + m_release + "/b.enc, " + first + "] major is [OCX0]";
    HookedPresenter presenter(duplicate, [&] { ASSERT_EQ(unlink(first.c_str()), 0); });

    EXPECT_FALSE(run_pack_command(presenter, m_release, true, "1.0", true, destination, false, {}));
    EXPECT_EQ(presenter.messages(), (Lines{duplicate, "Fail with error[-4]"}));
    EXPECT_EQ(read_bytes(destination), bytes_of("old package file"));
    EXPECT_EQ(QDir(QString::fromStdString(m_dir.path())).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

} // namespace
