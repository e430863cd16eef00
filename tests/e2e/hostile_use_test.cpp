// The program used as a hostile user would: outputs named after their own inputs, endless input,
// paths through links and odd working folders, files that are no tagged files, names that forge
// lines, damaged packages, displays that do not answer and settings files that block.

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrane::test;

namespace {

class HostileUse : public Faults {
protected:
    // An encrypted package of the program's own making in `directory`; only the package stays.
    std::string make_package(const std::string& directory, const std::string& name, const std::string& key) const
    {
        const std::string source = directory + "/" + name;
        write_bytes(source, pattern_bytes(600, 5));
        EXPECT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "-key", key, source}).exit_code, 0);
        QFile::remove(QString::fromStdString(source));
        QFile::remove(QString::fromStdString(source + ".wrp"));
        return source + ".wrp-Acme.enc";
    }

    // Runs the program through the shell, so that standard input or the folder it starts in can be
    // set up as no QProcess would: `shell` ends with `exec "$0" "$@"` and its redirections.
    ProcessResult run_through_shell(const std::string& shell, const std::vector<std::string>& arguments,
                                    const std::string& folder = {}) const
    {
        std::vector<std::string> command = {"-c", shell, program()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ProcessOptions o = options();
        o.timeout_ms = 20000;
        if (!folder.empty())
            o.working_directory = folder;
        return run_program("sh", command, o);
    }
};

TEST_P(HostileUse, OutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string key_named_like_a_package = work().file("fw.wrp-Acme.enc");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(key), QString::fromStdString(key_named_like_a_package)));
    write_bytes(work().file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(300, 2)));
    for (const char* source : {"acme", "cab", "via"})
        write_bytes(work().file(source), pattern_bytes(700, 3));
    ASSERT_EQ(link(work().file("cab").c_str(), work().file("cab.wrp").c_str()), 0);
    ASSERT_EQ(symlink("acme.wrp", work().file("via.wrp").c_str()), 0);
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    const std::string listed = make_package(release, "x.cab", key);
    const auto refused = [](const std::string& path) { return "Output would overwrite an input[path:" + path + "]"; };

    struct Case {
        std::vector<std::string> arguments;
        Lines lines;
    };
    const Case cases[] = {
        {{"-wrapping", "ocx", "-version", "1", "-key", "acme.wrp", "acme"}, {refused(key), "ocx wrapping failed with error[0]"}},
        {{"-key", "fw.wrp-Acme.enc", "fw.wrp"},
         {refused(key_named_like_a_package), "Encrypt file failed with error[-1]"}},
        {{"-wrapping", "ocx", "-version", "1", "cab"}, {refused(work().file("cab.wrp")), "ocx wrapping failed with error[0]"}},
        {{"-wrapping", "ocx", "-version", "1", "-key", "acme.wrp", "via"},
         {refused(work().file("via.wrp")), "ocx wrapping failed with error[0]"}},
        {{"-pack", "release", "-version", "1", "-dest", listed}, {refused(listed), "Fail with error[0]"}},
        {{"-pack", "release", "-version", "1", "-dest", "acme.wrp", "-key", "acme.wrp"}, {refused(key), "Fail with error[0]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        expect_clean_failure(c.arguments, c.lines);
    }
}

TEST_P(HostileUse, VersionFromStandardInput)
{
    write_text(work().file("brand.conf"), "[x]");
    const ProcessResult endless = run_through_shell("exec \"$0\" \"$@\" </dev/zero", {"-wrapping", "brand", "brand.conf"});
    EXPECT_EQ(endless.exit_code, 1);
    EXPECT_EQ(lines_of(endless.standard_output), (Lines{"Version error", "brand wrapping failed with error[0]"}));

    const ProcessResult crlf = run({"-wrapping", "brand", "brand.conf"}, "2.5\r\n");
    EXPECT_EQ(crlf.exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("brand.conf.wrp"), "BRD0", "", "2.5", nullptr));
}

// A file argument names the file the system opens for it: ".." after a symbolic link leads up from
// the link's target; a working folder too deep for Qt to name, or one that is gone, is not taken
// for the root.
TEST_P(HostileUse, RelativePathsNameTheFileTheSystemOpens)
{
    QDir().mkpath(QString::fromStdString(work().file("sub/inner")));
    ASSERT_EQ(symlink("sub/inner", work().file("L").c_str()), 0);
    write_bytes(work().file("sub/s.bin"), pattern_bytes(500, 6));
    write_bytes(work().file("s.bin"), pattern_bytes(500, 7)); // what folding "L/.." as text would name
    const ProcessResult through_link = run({"-wrapping", "ocx", "-version", "1", "L/../s.bin"});
    EXPECT_EQ(through_link.exit_code, 0) << through_link.standard_output;
    const Bytes meant = read_bytes(work().file("sub/s.bin"));
    EXPECT_TRUE(wrapped_as(work().file("sub/s.bin.wrp"), "OCX0", "", "1", &meant));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("s.bin.wrp"))));

    // Deeper than 4,096 bytes (made by the shell: Qt cannot name it): a relative path that read
    // from the root would name a file here.
    const std::string step = std::string(100, 'd');
    const std::string from_root = work().path().substr(1) + "/s.bin";
    const Snapshot before = snapshot_of(work().path());
    const ProcessResult too_deep = run_through_shell(
        "for i in $(seq 45); do mkdir " + step + " && cd -P " + step + " || exit 9; done; exec \"$0\" \"$@\"",
        {"-wrapping", "ocx", "-version", "1", from_root}, work().path());
    EXPECT_EQ(too_deep.exit_code, 1) << too_deep.standard_output;
    EXPECT_EQ(run_process("rm", {"-rf", work().file(step)}).exit_code, 0);
    EXPECT_TRUE(before == snapshot_of(work().path())) << differences(before, snapshot_of(work().path()));

    QDir().mkpath(QString::fromStdString(work().file("gone")));
    const ProcessResult gone = run_through_shell("cd gone && rmdir ../gone && exec \"$0\" \"$@\"",
                                                 {"-wrapping", "ocx", "-version", "1", "s.bin"}, work().path());
    EXPECT_EQ(gone.exit_code, 1);
    EXPECT_EQ(lines_of(gone.standard_output), Lines{"Current directory unknown for path[s.bin]"});
}

TEST_P(HostileUse, InfoRefusesWhatIsNoTaggedFileAndTrailersThatDoNotFit)
{
    const Bytes plain = plain_tagged_bytes("FRM0", pattern_bytes(300, 8));
    Bytes appended = plain, cut = plain, unknown_type = plain;
    appended.push_back(0);
    cut.pop_back();
    std::copy_n("XXX0", 4, unknown_type.begin());
    struct Case {
        std::string name;
        Bytes bytes;
        std::string last_line;
    };
    const Case cases[] = {
        {"empty", {}, ""},
        {"three", bytes_of("FRM"), ""},
        {"short", Bytes(plain.begin(), plain.begin() + 139), ""},
        {"unknown", unknown_type, ""},
        {"appended", appended, "MD5 trailer: missing, the file's length does not fit its payload length"},
        {"cut", cut, "MD5 trailer: missing, the file's length does not fit its payload length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(work().file(c.name), c.bytes);
        const ProcessResult result = run({"-info", c.name});
        EXPECT_EQ(result.exit_code, 1);
        const std::string expected =
            c.last_line.empty() ? "Path[" + work().file(c.name) + "] is not a tagged file" : c.last_line;
        ASSERT_FALSE(lines_of(result.standard_output).empty());
        EXPECT_EQ(lines_of(result.standard_output).back(), expected);
    }
}

TEST_P(HostileUse, NamesCannotForgeLinesAndCompanyNamesMustTravel)
{
    // Names as printf formats: QProcess would re-encode bytes that are not UTF-8, a shell passes them.
    for (const char* name : {"a\\nSuccess", "a\\033[2J", "a/b", "a\\\\b", "tab\\t", "nel\\302\\205", "\\377"}) {
        SCOPED_TRACE(name);
        expect_clean_failure({"-genkey", "0A1B2C3D4E5F", "-company", name, "k.wrp"}, {"Company name error"},
                             [&](const std::vector<std::string>& arguments) {
                                 return run_through_shell(
                                     "exec \"$0\" \"$1\" \"$2\" \"$3\" \"$(printf \"$4\")\" \"$5\"", arguments);
                             });
    }
    const std::string forged = "a\nWrapping success";
    write_bytes(work().file(forged), pattern_bytes(300, 9));
    const ProcessResult wrapped = run({"-wrapping", "ocx", "-version", "1", forged});
    EXPECT_EQ(lines_of(wrapped.standard_output),
              (Lines{"wrapping file success. [path:" + work().path() + "/a\\x0aWrapping success.wrp]",
                     "Wrapping success"}));
    EXPECT_EQ(lines_of(run({"-wrapping", "\x1b[2J", "x"}).standard_output), Lines{"Unknown wrapping type[\\x1b[2J]"});
}

TEST_P(HostileUse, DamagedPackagesStayOutOfThePackageFile)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    const std::string good = make_package(release, "a.cab", key);
    Bytes cut = read_bytes(good), longer = read_bytes(good);
    cut.pop_back();
    longer.push_back(0);
    std::copy_n("WEB0", 4, cut.begin()); // other types: no duplicates of the good one
    std::copy_n("BRD0", 4, longer.begin());
    write_bytes(release + "/b.enc", cut);
    write_bytes(release + "/c.enc", longer);
    const ProcessResult packed = run({"-pack", "release", "-version", "1", "-dest", "out.wrp"});
    EXPECT_EQ(packed.exit_code, 0);
    EXPECT_EQ(lines_of(packed.standard_output),
              (Lines{"Body length not match file[" + release + "/b.enc]",
                     "Body length not match file[" + release + "/c.enc]", "Success"}));
    EXPECT_EQ(read_bytes(work().file("out.wrp"))[140], 1); // the one whole package
}

// A display that does not answer leaves the command line headless; the dialogs then cannot open.
// A profile that is a FIFO is not read (reading it would block for ever).
TEST_P(HostileUse, EnvironmentThatDoesNotAnswer)
{
    write_bytes(work().file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(300, 2)));
    QDir().mkpath(QString::fromStdString(config().file("Tev")));
    ASSERT_EQ(mkfifo(config().file("Tev/kestrane.conf").c_str(), 0600), 0);
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    ProcessOptions dead_display = options({{"DISPLAY", ":4242"}});
    dead_display.timeout_ms = 20000;

    const ProcessResult info = run_program(program(), {"-info", "fw.wrp"}, dead_display);
    EXPECT_EQ(info.exit_code, 1) << info.standard_error; // the trailer of plain_tagged_bytes is filler
    EXPECT_EQ(info.standard_output.rfind("File: fw.wrp\n", 0), 0u);
    const ProcessResult encrypted = run_program(program(), {"-key", key, "fw.wrp"}, dead_display);
    EXPECT_EQ(encrypted.exit_code, 0) << encrypted.standard_output;
    const ProcessResult dialogs = run_program(program(), {}, dead_display);
    EXPECT_EQ(dialogs.exit_code, 2);
    EXPECT_NE(dialogs.standard_error.find("usage: kestrane"), std::string::npos);
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(HostileUse);

} // namespace
