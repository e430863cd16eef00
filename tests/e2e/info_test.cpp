// -info on tagged files and package files, as text and as JSON, and what it refuses.

#include "e2e/faults_support.h"

#include <QDir>
#include <QSettings>

using namespace kestrane::test;

namespace {

TEST_P(BuildServer, InfoReportsFailedChecks)
{
    const std::string acme = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string other = make_key_file("other.wrp", "Other", "0A0B0C0D0E10");
    const std::string kernel = make_kernel("image.krn");
    ASSERT_EQ(run({"-wrapping", "kernel", "-key", acme, kernel}).exit_code, 0);
    const std::string package = kernel + ".wrp-Acme.enc";

    const ProcessResult good = run({"-info", package, "-key", acme});
    EXPECT_EQ(good.exit_code, 0);
    EXPECT_EQ(lines_of(good.standard_output),
              (Lines{"File: image.krn.wrp-Acme.enc", "Type: FRM0", "Attribute: ENCR", "Model:", "Version: 1.5.2", "CompanyName: Acme",
                     "Body length: " + std::to_string(read_bytes(package).size() - 284), "Tag: verifies"}));

    const ProcessResult wrong_company = run({"-info", package, "-key", other});
    EXPECT_EQ(wrong_company.exit_code, 1);
    EXPECT_EQ(lines_of(wrong_company.standard_output).back(), "Tag: does not verify");

    const ProcessResult no_key = run({"-info", package});
    EXPECT_EQ(no_key.exit_code, 0);
    EXPECT_EQ(lines_of(no_key.standard_output).back().rfind("Body length: ", 0), 0u);

    Bytes wrapped = read_bytes(kernel + ".wrp");
    EXPECT_EQ(lines_of(run({"-info", kernel + ".wrp"}).standard_output).back(), "MD5 trailer: matches");
    wrapped[140 + 1000] ^= 0x01;
    write_bytes(work().file("flipped.wrp"), wrapped);
    const ProcessResult flipped = run({"-info", "flipped.wrp"});
    EXPECT_EQ(flipped.exit_code, 1);
    EXPECT_EQ(lines_of(flipped.standard_output).back(), "MD5 trailer: does not match");

    Bytes cut = read_bytes(package);
    cut.pop_back();
    write_bytes(work().file("cut.enc"), cut);
    const ProcessResult truncated = run({"-info", "cut.enc", "-key", acme});
    EXPECT_EQ(truncated.exit_code, 1);
    EXPECT_EQ(lines_of(truncated.standard_output).back(), "Body length: does not fit the file");

    EXPECT_EQ(lines_of(run({"-info", "absent.wrp"}).standard_output), Lines{"Path[" + work().file("absent.wrp") + "] is invalid"});
    EXPECT_EQ(run({"-info", "absent.wrp"}).exit_code, 1);
    EXPECT_EQ(run({"-info", kernel + ".wrp", "-key", "absent.wrp"}).exit_code, 1);
}

// -info -json, parsed by Python's json module, says field by field what the text says; the
// exit status is the same.
TEST_P(BuildServer, InfoJsonAgreesWithTheText)
{
    const std::string acme = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string other = make_key_file("other.wrp", "Other", "0A0B0C0D0E10");
    const std::string kernel = make_kernel("image.krn");
    ASSERT_EQ(run({"-wrapping", "kernel", "-key", acme, kernel}).exit_code, 0);
    const std::string wrapped = kernel + ".wrp", package = wrapped + "-Acme.enc";
    Bytes bytes = read_bytes(wrapped);
    bytes[1000] ^= 0x01;
    write_bytes(work().file("flipped.wrp"), bytes);
    bytes = read_bytes(package);
    bytes[20] = 0xff; // a company field that is not UTF-8, with a line end
    bytes[21] = '\n';
    write_bytes(work().file("odd.enc"), bytes);
    bytes.pop_back();
    write_bytes(work().file("cut.enc"), bytes);
    bytes = plain_tagged_bytes("OCX0", pattern_bytes(10));
    std::copy_n("ABCD", 4, bytes.begin() + 4);
    write_bytes(work().file("other.bin"), bytes);
    write_bytes(work().file("short.bin"), pattern_bytes(100));
    QDir().mkpath(QString::fromStdString(work().file("packages")));
    make_package(work().file("packages"), "a.cab", "ocx", acme);
    ASSERT_EQ(run({"-pack", "packages", "-version", "3.0", "-dest", "p.wrp", "-key", acme}).exit_code, 0);
    // Every text field with characters beyond ASCII, U+FEFF first, or bytes that are not UTF-8; in a
    // header, a key file and a listed package.
    const std::string bom = "\xef\xbb\xbf", rlo = "\xe2\x80\xae";
    Bytes odd = plain_tagged_bytes("FRM0", pattern_bytes(10), bom + "1.0");
    const std::string fields = std::string("\xff\xfe") + "AB\xc3\xa9\x9b", company = bom + rlo + "emcA";
    std::copy(fields.begin(), fields.end(), odd.begin() + 4); // attribute, model
    std::copy(company.begin(), company.end(), odd.begin() + 20);
    write_bytes(work().file("\xc3\xa9t\xc3\xa9.bin"), odd);
    write_bytes(work().file("bom-key.wrp"), plain_tagged_bytes("VID0", bytes_of("01234567" + bom + "Ac\xffme")));
    Bytes listing(8 + odd.size(), 0); // one entry: its size, its bytes
    listing[0] = 1;
    listing[4] = static_cast<uint8_t>(odd.size());
    std::copy(odd.begin(), odd.end(), listing.begin() + 8);
    write_bytes(work().file("odd-p.wrp"), plain_tagged_bytes("PKG0", listing));

    struct Case {
        std::string file, key;
        int exit_code;
        std::string line;
    };
    const Case cases[] = {
        {wrapped, "", 0, "MD5 trailer: matches"},
        {"flipped.wrp", "", 1, "MD5 trailer: does not match"},
        {package, acme, 0, "Tag: verifies"},
        {package, other, 1, "Tag: does not verify"},
        {package, "", 0, "CompanyName: Acme"},
        {"cut.enc", acme, 1, "Body length: does not fit the file"},
        {"odd.enc", "", 0, "CompanyName: \xff\\x0ame"},
        {"other.bin", "", 0, "Integrity: not checked, the attribute is neither PLAN nor an encrypt mode"},
        {acme, "", 0, "Key file company: Acme"},
        {"p.wrp", "", 0, "Package entries: fit the payload"},
        {"p.wrp-Acme.pkg", acme, 0, "Package entries: fit the payload"},
        {"absent.wrp", "", 1, "Path[" + work().file("absent.wrp") + "] is invalid"},
        {"short.bin", "", 1, "Path[" + work().file("short.bin") + "] is not a tagged file"},
        {wrapped, "short.bin", 1, "invalid company key file[file:short.bin]"},
        {"\xc3\xa9t\xc3\xa9.bin", "", 0, "CompanyName: " + bom + "\\xe2\\x80\\xaeemcA"},
        {"bom-key.wrp", "", 0, "Key file company: " + bom + "Ac\xffme"},
        {"odd-p.wrp", "", 1, "Package entries: fit the payload"},
    };
    std::vector<std::string> oracle = {KESTRANE_INFO_JSON_ORACLE};
    std::vector<std::string> json_outputs;
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"-info", c.file};
        if (!c.key.empty())
            arguments.insert(arguments.end(), {"-key", c.key});
        const ProcessResult text = run(arguments);
        arguments.push_back("-json");
        const ProcessResult json = run(arguments);
        const Lines lines = lines_of(text.standard_output);
        EXPECT_EQ(text.exit_code, c.exit_code) << c.file;
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.line << "\n" << text.standard_output;
        const std::string name = work().file(std::to_string(json_outputs.size()));
        write_text(name + ".txt", text.standard_output);
        write_text(name + ".json", json.standard_output);
        oracle.insert(oracle.end(),
                      {c.file.starts_with('/') ? c.file : work().file(c.file), name + ".txt", name + ".json",
                       std::to_string(text.exit_code), std::to_string(json.exit_code)});
        json_outputs.push_back(json.standard_output);
    }
    const ProcessResult agreement = run_process("python3", oracle);
    EXPECT_EQ(agreement.exit_code, 0) << agreement.standard_error;
    EXPECT_EQ(agreement.standard_output, "");
    EXPECT_NE(json_outputs[6].find(R"("company_hex":"ff0a6d65")"), std::string::npos) << json_outputs[6];
    EXPECT_EQ(QString::fromStdString(json_outputs[8]).indexOf("0a0b0c0d0e0f", 0, Qt::CaseInsensitive), -1);
    // Valid UTF-8 stays a string as it is, U+FEFF too: "_hex" only for the attributes and models.
    EXPECT_NE(json_outputs[14].find("\"company\":\"" + company + "\""), std::string::npos) << json_outputs[14];
    for (const size_t i : {14, 16}) {
        const QString json = QString::fromStdString(json_outputs[i]);
        EXPECT_EQ(json.count("_hex\""), 2) << json_outputs[i];
    }
}

// A package file, plain or encrypted in either mode, lists the packages it holds, and no size
// field in it is trusted.
TEST_P(BuildServer, InfoListsWhatPackageFilesHold)
{
    const std::string acme = make_key_file("acme.wrp", "Acme", "010203040506");
    const std::string dir = work().file("packages");
    QDir().mkpath(QString::fromStdString(dir));
    make_package(dir, "a.cab", "ocx", acme);
    make_package(dir, "b.bin", "dome7720", acme);
    ASSERT_EQ(run({"-pack", dir, "-version", "3.0", "-dest", "p.wrp", "-key", acme}).exit_code, 0);
    {
        QSettings profile(QString::fromStdString(config().file("Tev/kestrane.conf")), QSettings::IniFormat);
        profile.setValue("MODE/new_encrypt", 1);
    }
    ASSERT_EQ(run({"-key", acme, "-dest", "p1.pkg", "p.wrp"}).exit_code, 0);
    const Bytes a = read_bytes(dir + "/a.cab.wrp-Acme.enc"), b = read_bytes(dir + "/b.bin.wrp-Acme.enc");
    const auto listed = [](const Bytes& entry, const std::string& type, const std::string& model, const char* fits) {
        return Lines{"  Type: " + type,
                     "  Attribute: ENCR",
                     "  Model:" + model,
                     "  Version: 2.0",
                     "  CompanyName: Acme",
                     "  Size: " + std::to_string(entry.size()),
                     std::string("  Length: ") + fits};
    };
    const auto listing = [&](Lines head, const std::vector<Lines>& entries, const char* tail) {
        for (size_t i = 0; i < entries.size(); ++i) {
            head.push_back("Package " + std::to_string(i + 1) + ":");
            head.insert(head.end(), entries[i].begin(), entries[i].end());
        }
        head.push_back(std::string("Package entries: ") + tail);
        return head;
    };
    const Lines both = listing({"Packages: 2"}, {listed(a, "OCX0", "", "fits"), listed(b, "DOM0", " 7720", "fits")},
                               "fit the payload");
    for (const char* file : {"p.wrp", "p.wrp-Acme.pkg", "p1.pkg"}) {
        const ProcessResult info = run({"-info", file, "-key", acme});
        EXPECT_EQ(info.exit_code, 0) << file;
        const Lines lines = lines_of(info.standard_output);
        ASSERT_GE(lines.size(), both.size());
        EXPECT_EQ(Lines(lines.end() - static_cast<std::ptrdiff_t>(both.size()), lines.end()), both) << file;
    }

    // Package files laid out by hand, each with a trailer that matches (openssl): only the listing fails.
    const auto le32 = [](uint32_t value) {
        return Bytes{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                     static_cast<uint8_t>(value >> 24)};
    };
    const auto joined = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const Bytes a_cut(a.begin(), a.end() - 1);
    // One entry past the listing's cap, the one that fails: listed are 4096, checked are all.
    const Bytes a_entry = joined({le32(a.size()), a});
    Bytes beyond_cap = le32(4097);
    for (int i = 0; i < 4096; ++i)
        beyond_cap.insert(beyond_cap.end(), a_entry.begin(), a_entry.end());
    beyond_cap = joined({beyond_cap, le32(a_cut.size()), a_cut});
    struct Case {
        Bytes payload;
        Lines tail;
    };
    const Case cases[] = {
        {joined({le32(3), le32(a.size()), a, le32(b.size()), b}),
         listing({"MD5 trailer: matches", "Packages: 3"},
                 {listed(a, "OCX0", "", "fits"), listed(b, "DOM0", " 7720", "fits")}, "do not fit the payload")},
        {joined({le32(1), le32(0xFFFFFFFF), a}),
         listing({"MD5 trailer: matches", "Packages: 1"}, {}, "do not fit the payload")},
        {joined({le32(1), le32(a_cut.size()), a_cut}),
         listing({"MD5 trailer: matches", "Packages: 1"}, {listed(a_cut, "OCX0", "", "does not fit")},
                 "fit the payload")},
        {beyond_cap,
         listing({"MD5 trailer: matches", "Packages: 4097, the first 4096 listed"},
                 std::vector<Lines>(4096, listed(a, "OCX0", "", "fits")), "fit the payload")},
    };
    for (const Case& c : cases) {
        Bytes file = plain_tagged_bytes("PKG0", c.payload);
        const QByteArray md5 =
            QByteArray::fromHex(QByteArray::fromStdString(openssl_md5_hex(Bytes(file.begin(), file.end() - 16))));
        std::copy(md5.begin(), md5.end(), file.end() - 16);
        write_bytes(work().file("hand.wrp"), file);
        const ProcessResult info = run({"-info", "hand.wrp"});
        EXPECT_EQ(info.exit_code, 1);
        const Lines lines = lines_of(info.standard_output);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(Lines(lines.begin() + 6, lines.end()), c.tail);
    }
}

TEST_P(HostileUse, InfoRefusesWhatIsNoTaggedFileAndTrailersThatDoNotFit)
{
    const Bytes plain = plain_tagged_bytes("FRM0", pattern_bytes(300, 8));
    Bytes appended = plain, cut = plain, unknown_type = plain;
    appended.push_back(0);
    cut.pop_back();
    std::copy_n("XXX0", 4, unknown_type.begin());
    const std::pair<std::string, Bytes> not_tagged[] = {{"empty", {}},
                                                        {"three", bytes_of("FRM")},
                                                        {"short", Bytes(plain.begin(), plain.begin() + 139)},
                                                        {"unknown", unknown_type}};
    const std::pair<std::string, Bytes> trailer_missing[] = {{"appended", appended}, {"cut", cut}};
    for (const auto& [name, bytes] : not_tagged) {
        write_bytes(work().file(name), bytes);
        const ProcessResult result = run({"-info", name});
        EXPECT_EQ(result.exit_code, 1) << name;
        EXPECT_EQ(lines_of(result.standard_output), Lines{"Path[" + work().file(name) + "] is not a tagged file"});
    }
    for (const auto& [name, bytes] : trailer_missing) {
        write_bytes(work().file(name), bytes);
        const ProcessResult result = run({"-info", name});
        EXPECT_EQ(result.exit_code, 1) << name;
        EXPECT_EQ(result.standard_output.substr(result.standard_output.rfind("MD5")),
                  "MD5 trailer: missing, the file's length does not fit its payload length\n");
    }
}

} // namespace
