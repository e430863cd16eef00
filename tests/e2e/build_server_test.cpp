#include "e2e/e2e_support.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <map>
#include <regex>
#include <sys/stat.h>

using namespace kestrane::test;

namespace {

using Lines = std::vector<std::string>;

class BuildServer : public CommandLineProgramTest {
protected:
    std::string make_kernel(const std::string& name) const
    {
        const std::string path = work().file(name);
        make_uimage(path, "Linux image HW 0000 1r5r2", pattern_bytes(40000, 11));
        return path;
    }
    ProcessResult release(const std::vector<std::string>& arguments) const
    {
        ProcessOptions options;
        options.working_directory = work().path();
        options.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        options.set = {{"KESTRANE", program()}, {"XDG_CONFIG_HOME", config().path()}};
        std::vector<std::string> command = {KESTRANE_RELEASE_SCRIPT};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return run_program("bash", command, options);
    }
    // An encrypted package of the given type, made by the program itself; only the package stays.
    void make_package(const std::string& directory, const std::string& name, const std::string& word,
                      const std::string& key) const
    {
        const std::string source = directory + "/" + name;
        write_bytes(source, pattern_bytes(500, 9));
        EXPECT_EQ(run({"-wrapping", word, "-version", "2.0", "-key", key, source}).exit_code, 0);
        QFile::remove(QString::fromStdString(source));
        QFile::remove(QString::fromStdString(source + ".wrp"));
    }
};

// Two companies in one release: each wrapped file is encrypted for both in one run.
TEST_P(BuildServer, WholeReleaseByScript)
{
    const std::string kernel = make_kernel("image.krn");
    const std::string web = make_web(work());
    const std::map<std::string, std::string> digits = {{"Acme", "0A1B2C3D4E5F"}, {"Other", "0A1B2C3D4E60"}};
    const std::string out = work().file("release");
    const std::string private_key = work().file("sealing.pem");
    write_bytes(private_key, read_bytes(test_data_path("development-sealing-key.private.pem")));
    QFile::setPermissions(QString::fromStdString(private_key), QFile::ReadOwner | QFile::WriteOwner);
    const ProcessResult result = release({"--verify-with", private_key,
                                          make_key_file("acme.wrp", "Acme", digits.at("Acme")),
                                          make_key_file("other.wrp", "Other", digits.at("Other")), kernel, web,
                                          "1.5.2", out});
    ASSERT_EQ(result.exit_code, 0) << result.standard_output << result.standard_error;
    const std::string& printed = result.standard_output;

    // Every output checked by the oracles; nothing is written beside the sources.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(kernel + ".wrp")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(web + ".wrp")));
    const Bytes kernel_wrapped = read_bytes(out + "/image.krn.wrp");
    EXPECT_TRUE(wrapped_as(out + "/image.krn.wrp", "FRM0", "", "1.5.2", nullptr));
    EXPECT_TRUE(wrapped_as(out + "/web.wrp", "WEB0", "", "1.5.2", nullptr));
    size_t kernel_package_size = 0;
    for (const auto& [company, key_digits] : digits) {
        SCOPED_TRACE(company);
        const Bytes key = key_bytes(key_digits);
        const std::string packages = out + "/" + company + "-1.5.2";
        const Bytes kernel_package = read_bytes(packages + "/image.krn.wrp-" + company + ".enc");
        const Bytes web_package = read_bytes(packages + "/web.wrp-" + company + ".enc");
        EXPECT_TRUE(package_matches(kernel_package, kernel_wrapped, "ENCR", company, key));
        EXPECT_TRUE(package_matches(web_package, read_bytes(out + "/web.wrp"), "ENCR", company, key));
        kernel_package_size = kernel_package.size();

        // The package file holds both encrypted packages, in name order, and is itself encrypted.
        const std::string package_file = out + "/" + company + "-K1.5.2.wrp";
        EXPECT_TRUE(wrapped_as(package_file, "PKG0", "", "1.5.2", nullptr));
        const Bytes package = read_bytes(package_file);
        Bytes expected_payload = {2, 0, 0, 0};
        for (const Bytes* entry : {&kernel_package, &web_package}) {
            const auto size = static_cast<uint32_t>(entry->size());
            for (int i = 0; i < 4; ++i)
                expected_payload.push_back(static_cast<uint8_t>(size >> (8 * i)));
            expected_payload.insert(expected_payload.end(), entry->begin(), entry->end());
        }
        EXPECT_EQ(Bytes(package.begin() + 140, package.end() - 16), expected_payload);
        EXPECT_TRUE(package_matches(read_bytes(package_file + "-" + company + ".pkg"), package, "ENCR", company, key));
    }

    // -info of every output, each with its checks passing; every package file lists both packages.
    // -verify of every encrypted output: per company both packages, and the package file with both again.
    size_t matches = 0, verifies = 0, listed = 0, opened = 0;
    for (const std::string& line : lines_of(printed)) {
        matches += line == "MD5 trailer: matches";
        verifies += line == "Tag: verifies";
        listed += line == "  Size: " + std::to_string(kernel_package_size);
        opened += line == "Verification: passed";
    }
    EXPECT_EQ(opened, 6u) << printed;
    EXPECT_EQ(matches, 6u) << printed;
    EXPECT_EQ(verifies, 6u) << printed;
    EXPECT_EQ(listed, 4u) << printed;
}

// The key file lives longer than a release: the script makes one only when asked, never over an
// existing one, and no log shows its digits.
TEST_P(BuildServer, ReleaseScriptMakesAKeyFileOnlyWhenAsked)
{
    const std::string kernel = make_kernel("image.krn");
    const std::string web = make_web(work());
    const std::string key_file = work().file("acme.wrp");
    EXPECT_EQ(release({key_file, kernel, web, "1.5.2", work().file("r0")}).exit_code, 1);

    const ProcessResult made = release({"--new-key", "Acme", key_file, kernel, web, "1.5.2", work().file("r1")});
    ASSERT_EQ(made.exit_code, 0) << made.standard_output << made.standard_error;
    const Bytes key = read_bytes(key_file);
    const std::string digits = QString::fromStdString(to_hex(key.data() + 142, 6)).toUpper().toStdString();
    EXPECT_EQ(made.standard_output.find(digits), std::string::npos);
    EXPECT_NE(made.standard_output.find("they are in the key file[path:" + key_file + "]"), std::string::npos);

    const ProcessResult again = release({"--new-key", "Acme", key_file, kernel, web, "1.5.2", work().file("r2")});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_EQ(lines_of(again.standard_output),
              (Lines{"Company key file exists[path:" + key_file + "]", "-force replaces it"}));
    EXPECT_EQ(read_bytes(key_file), key);
}

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

TEST_P(BuildServer, GenerateKeyLikeTheDialog)
{
    const ProcessResult made = run({"-genkey", "0a1B2c3D4e5F", "-company", "Acme", "keys.wrp"});
    EXPECT_EQ(made.exit_code, 0);
    EXPECT_EQ(lines_of(made.standard_output), Lines{"Success"});
    const Bytes file = read_bytes(work().file("keys.wrp"));
    EXPECT_EQ(to_hex(file.data() + 140, 8), "00000a1b2c3d4e5f");
    EXPECT_EQ(text_at(file, 148, 4), "Acme");
    EXPECT_EQ(to_hex(file.data() + 152, 16), openssl_md5_hex(Bytes(file.begin(), file.begin() + 152)));
    struct stat info {};
    ASSERT_EQ(stat(work().file("keys.wrp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case refusals[] = {
        {{"-genkey", "0A1B2C3D4E5", "-company", "Acme", "x.wrp"}, "Invalid vid"},
        {{"-genkey", "0A1B2C3D4E5F", "-company", "Seventeen-chars!!", "x.wrp"}, "Company name error"},
        {{"-genkey", "0A1B2C3D4E5G", "-company", "Acme", "x.wrp"}, "Fail with Error code[-1]"},
    };
    for (const Case& c : refusals) {
        const ProcessResult result = run(c.arguments);
        EXPECT_EQ(result.exit_code, 1) << c.message;
        EXPECT_EQ(lines_of(result.standard_output), Lines{c.message});
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("x.wrp"))));

    // Drawn digits are printed on a terminal only; elsewhere the output says where they are.
    const ProcessResult on_terminal = run_on_terminal({"-genkey", "random", "-company", "Acme", "r1.wrp"});
    ASSERT_EQ(on_terminal.exit_code, 0);
    std::smatch digits;
    ASSERT_TRUE(std::regex_search(on_terminal.standard_output, digits,
                                  std::regex("Company key digits: ([0-9A-F]{12})\r?\nSuccess")));
    EXPECT_EQ(to_hex(read_bytes(work().file("r1.wrp")).data() + 140, 8),
              "0000" + QString::fromStdString(digits[1]).toLower().toStdString());
    const ProcessResult logged = run({"-genkey", "random", "-company", "Acme", "r2.wrp"});
    EXPECT_EQ(lines_of(logged.standard_output),
              (Lines{"Success",
                     "Company key digits: not printed, they are in the key file[path:" + work().file("r2.wrp") + "]"}));
    const Bytes drawn = read_bytes(work().file("r2.wrp"));
    EXPECT_NE(drawn, read_bytes(work().file("r1.wrp")));

    // An existing key file is replaced only with -force.
    const ProcessResult kept = run({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", "r2.wrp"});
    EXPECT_EQ(kept.exit_code, 1);
    EXPECT_EQ(lines_of(kept.standard_output),
              (Lines{"Company key file exists[path:" + work().file("r2.wrp") + "]", "-force replaces it"}));
    EXPECT_EQ(read_bytes(work().file("r2.wrp")), drawn);
    EXPECT_EQ(run({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", "r2.wrp", "-force"}).exit_code, 0);
    EXPECT_EQ(to_hex(read_bytes(work().file("r2.wrp")).data() + 140, 8), "00000a1b2c3d4e5f");
}

TEST_P(BuildServer, PackWithScanRulesAndKey)
{
    const std::string acme = make_key_file("acme.wrp", "Acme", "010203040506");
    const std::string other = make_key_file("other.wrp", "Other", "010203040507");
    const std::string dir = work().file("packages");
    QDir().mkpath(QString::fromStdString(dir));
    make_package(dir, "a.cab", "ocx", acme);
    make_kernel("packages/image.krn");
    ASSERT_EQ(run({"-wrapping", "kernel", "-key", acme, dir + "/image.krn"}).exit_code, 0);
    QFile::remove(QString::fromStdString(dir + "/image.krn"));
    QFile::remove(QString::fromStdString(dir + "/image.krn.wrp"));
    make_package(dir, "z.bin", "dome7720", other);
    const std::string a = dir + "/a.cab.wrp-Acme.enc", image = dir + "/image.krn.wrp-Acme.enc",
                      z = dir + "/z.bin.wrp-Other.enc";
    const std::string mismatch = "Company name not match file[" + z + "(Other), " + a + "(Acme)]";

    // A key of another company: nothing is written.
    const ProcessResult refused = run({"-pack", dir, "-key", other});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(lines_of(refused.standard_output), (Lines{mismatch, "Doesn't match brand name with [Acme]"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("packages-K1.5.2.wrp"))));

    // The kernel gives the version, the destination lies beside the directory.
    const std::string destination = work().file("packages-K1.5.2.wrp");
    const ProcessResult packed = run({"-pack", "packages", "-key", acme});
    EXPECT_EQ(packed.exit_code, 0);
    EXPECT_EQ(lines_of(packed.standard_output),
              (Lines{mismatch, "Success", "Success to encrypt file. [path:" + destination + "-Acme.pkg]"}));
    EXPECT_TRUE(wrapped_as(destination, "PKG0", "", "1.5.2", nullptr));
    const Bytes package = read_bytes(destination);
    const Bytes first = read_bytes(a);
    EXPECT_EQ(package[140], 2);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), package.begin() + 148));
    EXPECT_TRUE(package_matches(read_bytes(destination + "-Acme.pkg"), package, "ENCR", "Acme",
                                key_bytes("010203040506")));

    const ProcessResult chosen = run({"-pack", dir, "-version", "9", "-dest", "custom.wrp"});
    EXPECT_EQ(chosen.exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("custom.wrp"), "PKG0", "", "9", nullptr));

    QDir().mkpath(QString::fromStdString(work().file("empty")));
    const ProcessResult empty = run({"-pack", "empty"});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_EQ(lines_of(empty.standard_output), Lines{"Nothing target enc file"});
    const ProcessResult not_directory = run({"-pack", "acme.wrp"});
    EXPECT_EQ(not_directory.exit_code, 1);
    EXPECT_EQ(lines_of(not_directory.standard_output), Lines{"Path[" + work().file("acme.wrp") + "] is invalid"});
}

TEST_P(BuildServer, HelpAndConflicts)
{
    const ProcessResult help = run({"-help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.standard_output.find("-genkey DIGITS|random -company NAME DEST"), std::string::npos);
    const ProcessResult conflict = run({"-info", "a", "-pack", "b"});
    EXPECT_EQ(conflict.exit_code, 2);
    EXPECT_EQ(conflict.standard_output, "");
    EXPECT_NE(conflict.standard_error.find("usage: kestrane"), std::string::npos);
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

// -dest puts the wrapped file or the package where the caller says, raw wraps any file, and no
// output may be one of the run's inputs.
TEST_P(BuildServer, RawWrappingAndChosenDestinations)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    QDir().mkpath(QString::fromStdString(work().file("src")));
    QDir().mkpath(QString::fromStdString(work().file("out")));
    const Bytes tool = pattern_bytes(3000, 7);
    const std::string source = work().file("src/tool.bin"), wrapped = work().file("out/tool.wrp");
    write_bytes(source, tool);

    const ProcessResult wrap =
        run({"-wrapping", "raw", "-version", "2.0", "-key", key, "-dest", "out/tool.wrp", source});
    EXPECT_EQ(wrap.exit_code, 0) << wrap.standard_output;
    EXPECT_EQ(lines_of(wrap.standard_output),
              (Lines{"wrapping file success. [path:" + wrapped + "]", "Wrapping success",
                     "Success to encrypt file. [path:" + wrapped + "-Acme.enc]", "Encrypt success"}));
    EXPECT_TRUE(wrapped_as(wrapped, "RAW0", "", "2.0", &tool));
    EXPECT_TRUE(package_matches(read_bytes(wrapped + "-Acme.enc"), read_bytes(wrapped), "ENC1", "Acme",
                                key_bytes("0A0B0C0D0E0F")));
    const ProcessResult encrypt = run({"--key=" + key, "--dest=out/other.enc", "out/tool.wrp"});
    EXPECT_EQ(encrypt.exit_code, 0);
    EXPECT_TRUE(package_matches(read_bytes(work().file("out/other.enc")), read_bytes(wrapped), "ENC1", "Acme",
                                key_bytes("0A0B0C0D0E0F")));
    EXPECT_EQ(
        QDir(QString::fromStdString(work().file("src"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
        1); // read-only tree
    QDir().mkpath(QString::fromStdString(work().file("src/sub")));

    const std::string refused = "Output would overwrite an input[path:";
    const std::vector<std::pair<std::vector<std::string>, Lines>> overwrites = {
        {{"-wrapping", "ocx", "-version", "1", "-dest", "src/tool.bin", source},
         {refused + source + "]", "ocx wrapping failed with error[0]"}},
        {{"-wrapping", "ocx", "-version", "1", "-key", key, "-dest", "acme.wrp", source},
         {refused + key + "]", "ocx wrapping failed with error[0]"}},
        {{"-key", key, "-dest", wrapped, wrapped}, {refused + wrapped + "]", "Encrypt file failed with error[-1]"}},
        {{"-key", key, "-dest", key, wrapped}, {refused + key + "]", "Encrypt file failed with error[-1]"}},
        {{"-wrapping", "webpage", "-version", "1", "-dest", "src/sub/x.wrp", "src"},
         {refused + work().file("src/sub/x.wrp") + "]", "webpage wrapping failed with error[0]"}},
    };
    for (const auto& [arguments, lines] : overwrites) {
        const Bytes before = read_bytes(source), key_before = read_bytes(key), wrapped_before = read_bytes(wrapped);
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(lines_of(result.standard_output), lines);
        EXPECT_TRUE(read_bytes(source) == before && read_bytes(key) == key_before
                    && read_bytes(wrapped) == wrapped_before);
    }
}

// -batch asks no question, and a question that meets the end of standard input says what was
// missing; -h, --name=value, "--" and a second file argument behave as scripts expect.
TEST_P(BuildServer, BatchAndConventions)
{
    write_text(work().file("brand.conf"), "[x]");
    const ProcessResult batch = run({"-batch", "-wrapping", "ocx", "brand.conf"}, "2.0\n");
    EXPECT_EQ(batch.exit_code, 1);
    EXPECT_EQ(batch.standard_output, "");
    EXPECT_EQ(lines_of(batch.standard_error),
              Lines{"-version is needed: -batch asks no question[path:" + work().file("brand.conf") + "]"});
    const ProcessResult ended = run({"-wrapping", "ocx", "brand.conf"}, "");
    EXPECT_EQ(ended.exit_code, 1);
    EXPECT_EQ(ended.standard_output, "");
    EXPECT_EQ(lines_of(ended.standard_error),
              Lines{"-version was expected: no version on standard input[path:" + work().file("brand.conf") + "]"});
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("brand.conf.wrp"))));
    EXPECT_EQ(run({"-batch", "-wrapping", "ocx", "-version", "2.0", "brand.conf"}).exit_code, 0);

    const ProcessResult help = run({"-h"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.standard_output.rfind("usage: ", 0), 0u);
    // Each usage error says first what was wrong, then the usage text.
    const std::vector<std::pair<std::vector<std::string>, std::string>> usage_errors = {
        {{"-batch"}, "no operation"},
        {{"-wrapping", "ocx", "-version", "1", "brand.conf", "x.cab"}, "one file argument at most"},
        {{"-wrapping", "ocx", "-bogus\n", "brand.conf"}, "unknown option -bogus\\x0a"},
        {{"-batch", "-wrapping"}, "option -wrapping needs a value"},
        {{"-info", "brand.conf", "-pack", "."}, "one operation a run: -wrapping, -info, -genkey, -pack or -verify"},
        {{"-json", "-key", "acme.wrp", "fw.wrp"}, "-json belongs to -info and -verify"},
        {{"-genkey", "random", "x.wrp"}, "-genkey needs -company NAME"},
        {{"-genkey", "random", "-company:", "x.wrp"}, "-genkey needs -company NAME"},
        {{"-genkey", "random", "-company", "Acme"}, "-genkey needs the key file to write, DEST"},
    };
    for (const auto& [arguments, problem] : usage_errors) {
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 2) << problem;
        EXPECT_EQ(result.standard_output, "");
        EXPECT_EQ(result.standard_error.rfind(std::string(GetParam().name) + ": " + problem + "\nusage: ", 0), 0u)
            << result.standard_error;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("x.cab.wrp"))));

    const Bytes cabinet = pattern_bytes(700, 3);
    write_bytes(work().file("-x"), cabinet);
    EXPECT_EQ(run({"--wrapping=ocx", "--version=3.1", "--", "-x"}).exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("-x.wrp"), "OCX0", "", "3.1", &cabinet));
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(BuildServer);

} // namespace
