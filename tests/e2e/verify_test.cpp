#include "e2e/e2e_support.h"

#include <QDir>
#include <QFile>

#include <functional>

using namespace kestrane::test;

namespace {

// -verify against packages the program makes, and the same packages tampered with. Oracles: the
// wrapped file the package was made from, and `openssl pkeyutl -decrypt` with the test private key.
class Verify : public CommandLineProgramTest {
protected:
    void SetUp() override
    {
        acme = make_key_file("acme.wrp", "Acme", "0A1B2C3D4E5F");
        other_company = make_key_file("other.wrp", "Other", "0A1B2C3D4E60");
        private_key = private_copy(test_data_path("development-sealing-key.private.pem"), "sealing.pem");
        // A raw file travels as "ENC1", whole; an ocx file as "ENCR", from its length field on.
        write_bytes(work().file("fw.bin"), pattern_bytes(5000, 7));
        write_bytes(work().file("viewer.cab"), pattern_bytes(700, 8));
        ASSERT_EQ(run({"-wrapping", "raw", "-version", "1.0", "-key", acme, work().file("fw.bin")}).exit_code, 0);
        ASSERT_EQ(run({"-wrapping", "ocx", "-version", "2.0", "-key", acme, work().file("viewer.cab")}).exit_code, 0);
    }

    std::string private_copy(const std::string& from, const std::string& name) const
    {
        const std::string path = work().file(name);
        write_bytes(path, read_bytes(from));
        QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    std::string openssl(const std::vector<std::string>& arguments) const
    {
        const ProcessResult result = run_process("openssl", arguments);
        EXPECT_EQ(result.exit_code, 0) << result.standard_error;
        return result.standard_output;
    }

    // What openssl opens block `index` of a package to, with padding checked (PKCS#1 v1.5).
    Bytes openssl_open_block(const Bytes& package, size_t offset) const
    {
        const std::string block = work().file("block");
        write_bytes(block,
                    Bytes(package.begin() + static_cast<std::ptrdiff_t>(offset),
                          package.begin() + static_cast<std::ptrdiff_t>(offset + 128)));
        return bytes_of(openssl(
            {"pkeyutl", "-decrypt", "-inkey", private_key, "-in", block, "-pkeyopt", "rsa_padding_mode:pkcs1"}));
    }

    std::string acme, other_company, private_key;
};

TEST_P(Verify, RestoresWhatOpensslOpens)
{
    struct Case {
        std::string package, wrapped;
        size_t body_source_offset; // where the sealed body source starts in the wrapped file
    };
    for (const Case& c :
         {Case{"fw.bin.wrp-Acme.enc", "fw.bin.wrp", 0}, Case{"viewer.cab.wrp-Acme.enc", "viewer.cab.wrp", 136}}) {
        const Bytes package = read_bytes(work().file(c.package));
        const Bytes wrapped = read_bytes(work().file(c.wrapped));
        const std::string restored = work().file(c.wrapped + ".restored");
        const ProcessResult result =
            run({"-verify", work().file(c.package), "-private", private_key, "-key", acme, "-dest", restored});
        EXPECT_EQ(result.exit_code, 0) << result.standard_output;
        EXPECT_EQ(read_bytes(restored), wrapped) << c.package;

        // openssl opens the same blocks to the wrapped file's bytes, and the key block to the key.
        const uint32_t body = package[136] | package[137] << 8 | package[138] << 16 | uint32_t{package[139]} << 24;
        Bytes opened;
        for (size_t at = 140; at < 140 + std::min<uint32_t>(body, 1152); at += 128) {
            const Bytes chunk = openssl_open_block(package, at);
            opened.insert(opened.end(), chunk.begin(), chunk.end());
        }
        const Bytes source(wrapped.begin() + static_cast<std::ptrdiff_t>(c.body_source_offset), wrapped.end());
        EXPECT_EQ(
            opened,
            Bytes(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(source.size(), 1044))));
        EXPECT_EQ(to_hex(openssl_open_block(package, 140 + body)).substr(0, 16), "00000a1b2c3d4e5f");
    }
}

TEST_P(Verify, EveryCheckNamesItsFault)
{
    const std::string enc1 = work().file("fw.bin.wrp-Acme.enc"); // body 5264 bytes: 9 blocks, then copied
    const Bytes intact = read_bytes(enc1);
    const size_t key_block = 140 + 5264, tag = key_block + 128;
    ASSERT_EQ(intact.size(), tag + 16);
    const auto flipped = [&](size_t offset) {
        return [&, offset] {
            Bytes bytes = intact;
            bytes[offset] ^= 0x10;
            write_bytes(enc1, bytes);
        };
    };
    // A package file of both packages, the last with its tag flipped.
    QDir().mkdir(QString::fromStdString(work().file("release")));
    write_bytes(work().file("release/viewer.cab.wrp-Acme.enc"), read_bytes(work().file("viewer.cab.wrp-Acme.enc")));
    write_bytes(work().file("release/dome.bin"), pattern_bytes(300, 9));
    ASSERT_EQ(
        run({"-wrapping", "dome7720", "-version", "2.0", "-key", acme, work().file("release/dome.bin")}).exit_code, 0);
    QFile::remove(QString::fromStdString(work().file("release/dome.bin")));
    QFile::remove(QString::fromStdString(work().file("release/dome.bin.wrp")));
    const auto packed_with_bad_entry = [&] {
        ASSERT_EQ(
            run({"-pack", work().file("release"), "-version", "3.0", "-dest", work().file("packed.wrp")}).exit_code, 0);
        Bytes packed = read_bytes(work().file("packed.wrp"));
        packed[packed.size() - 17] ^= 0x01; // the last entry's tag ends right before the MD5 trailer
        write_bytes(work().file("packed.wrp"), packed);
    };
    const std::string other_key = work().file("throwaway.pem");
    const std::string encrypted_key = work().file("encrypted.pem");
    write_text(work().file("passphrase"), "right horse\n");
    write_text(work().file("wrong"), "wrong horse\n");
    openssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024", "-out", other_key});
    openssl({"pkey", "-in", private_key, "-aes256", "-passout", "pass:right horse", "-out", encrypted_key});
    QFile::setPermissions(QString::fromStdString(other_key), QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(QString::fromStdString(encrypted_key), QFile::ReadOwner | QFile::WriteOwner);
    const std::string open_key = work().file("open.pem");
    write_bytes(open_key, read_bytes(private_key));
    QFile::setPermissions(QString::fromStdString(open_key),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);

    struct Case {
        const char* name;
        std::function<void()> tamper;
        std::vector<std::string> arguments; // after -verify FILE
        int exit_code;
        std::vector<std::string> texts; // each found in the report
    };
    const std::vector<std::string> usual = {"-private", private_key, "-key", acme};
    const std::string restored = work().file("restored.wrp");
    const Case cases[] = {
        {"intact", [] {}, usual, 0, {"Verification: passed"}},
        {"sealed block",
         flipped(140 + 2 * 128 + 5),
         usual,
         1,
         {"Sealed blocks: FAILED (block 3 of 9 does not open with the private key)"}},
        {"key block", flipped(key_block + 60), usual, 1, {"Key block: FAILED (does not open with the private key)"}},
        {"tag",
         flipped(tag + 3),
         {"-private", private_key, "-dest", restored},
         1,
         {"Tag: FAILED (does not match)", "Wrapped file: passed (5156 bytes, MD5 trailer matches)",
          "Restored to: FAILED (not written, a check failed[path:" + restored + "])"}},
        {"restored over the package",
         [] {},
         {"-private", private_key, "-dest", enc1},
         1,
         {"Output would overwrite an input[path:" + enc1 + "]"}},
        {"copied body",
         flipped(140 + 1152 + 100),
         usual,
         1,
         {"Tag: FAILED (does not match)", "Wrapped file: FAILED (5156 bytes, MD5 trailer does not match)"}},
        {"truncated",
         [&] { write_bytes(enc1, Bytes(intact.begin(), intact.end() - 1)); },
         usual,
         1,
         {"Layout: FAILED (5547 bytes, its body length 5264 asks for 5548)"}},
        {"other company",
         [] {},
         {"-private", private_key, "-key", other_company},
         1,
         {"Company: FAILED (the company key is not the key file's)"}},
        {"another sealing key",
         [] {},
         {"-private", other_key},
         1,
         {"Sealed blocks: FAILED (block 1 of 9 does not open with the private key)"}},
        {"key open to others",
         [] {},
         {"-private", open_key},
         1,
         {"Private key file can be read by others (mode 0644): make it private with chmod 600[file:" + open_key + "]"}},
        {"no passphrase",
         [] {},
         {"-private", encrypted_key, "-passin", "env:KESTRANE_TEST_NO_SUCH_VARIABLE"},
         1,
         {"Private key is encrypted: give its passphrase on a terminal, or with -passin env:VAR or -passin "
          "file:PATH[file:"
          + encrypted_key + "]"}},
        {"wrong passphrase",
         [] {},
         {"-private", encrypted_key, "-passin", "file:" + work().file("wrong")},
         1,
         {"Private key does not open with this passphrase[file:" + encrypted_key + "]"}},
        {"passphrase from a file",
         [] {},
         {"-private", encrypted_key, "-passin", "file:" + work().file("passphrase")},
         0,
         {"Verification: passed"}},
        {"package file, entry by entry",
         packed_with_bad_entry,
         {"-private", private_key},
         1,
         {"Package 2:", "  Tag: FAILED (does not match)", "MD5 trailer: FAILED (does not match)"}},
        {"json",
         flipped(tag),
         {"-private", private_key, "-json"},
         1,
         {"{\"check\":\"tag\",\"detail\":\"does not match\",\"passed\":false,\"result\":\"failed\"}"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(enc1, intact);
        c.tamper();
        const bool packed = std::string(c.name).starts_with("package file");
        std::vector<std::string> arguments = {"-verify", packed ? work().file("packed.wrp") : enc1};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.standard_output << result.standard_error;
        for (const std::string& text : c.texts)
            EXPECT_NE(result.standard_output.find(text), std::string::npos) << text << "\n" << result.standard_output;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(restored))); // no failed check restores a file
    }
    // The sealing key fingerprints the program and openssl agree on, in the report of a foreign key.
    const ProcessResult foreign = run({"-verify", enc1, "-private", other_key});
    openssl({"pkey", "-in", other_key, "-pubout", "-out", work().file("throwaway.pub.pem")});
    EXPECT_NE(foreign.standard_output.find("the private key's ["
                                           + openssl_key_fingerprint(work().file("throwaway.pub.pem")) + "]"),
              std::string::npos)
        << foreign.standard_output;
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(Verify);

} // namespace
