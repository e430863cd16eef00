// The programs used as a hostile user would: outputs named after their own inputs, endless input,
// paths through links and odd working folders, files that are no tagged files, names that forge
// lines, displays that do not answer and a profile that blocks.

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kestrane::test;

namespace {

class HostileUse : public Faults {
protected:
    // Runs the program through `sh -c shell` (which ends in `exec "$0" "$@"`): standard input, the
    // folder it starts in and bytes that are not UTF-8 set up as no QProcess would.
    ProcessResult through_shell(const std::string& shell, const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> command = {"-c", shell, program()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ProcessOptions o = options();
        o.timeout_ms = 20000;
        return run_program("sh", command, o);
    }
};

std::string refused(const std::string& output)
{
    return "Output would overwrite an input[path:" + output + "]";
}

TEST_P(HostileUse, OutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string key_named_like_a_package = make_key_file("fw.wrp-Acme.enc", "Acme", "0A0B0C0D0E0F");
    write_bytes(work().file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(300, 2)));
    for (const char* source : {"acme", "cab", "via", "release/x.cab"}) {
        QDir().mkpath(QString::fromStdString(work().file("release")));
        write_bytes(work().file(source), pattern_bytes(700, 3));
    }
    ASSERT_EQ(link(work().file("cab").c_str(), work().file("cab.wrp").c_str()), 0);
    ASSERT_EQ(symlink("acme.wrp", work().file("via.wrp").c_str()), 0);
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1", "-key", key, "release/x.cab"}).exit_code, 0);
    for (const char* made : {"release/x.cab", "release/x.cab.wrp"})
        QFile::remove(QString::fromStdString(work().file(made)));
    const std::string listed = work().file("release/x.cab.wrp-Acme.enc");

    const std::pair<std::vector<std::string>, Lines> cases[] = {
        {{"-wrapping", "ocx", "-version", "1", "-key", "acme.wrp", "acme"},
         {refused(key), "ocx wrapping failed with error[0]"}},
        {{"-key", "fw.wrp-Acme.enc", "fw.wrp"},
         {refused(key_named_like_a_package), "Encrypt file failed with error[-1]"}},
        {{"-wrapping", "ocx", "-version", "1", "cab"},
         {refused(work().file("cab.wrp")), "ocx wrapping failed with error[0]"}},
        {{"-wrapping", "ocx", "-version", "1", "-key", "acme.wrp", "via"},
         {refused(work().file("via.wrp")), "ocx wrapping failed with error[0]"}},
        {{"-pack", "release", "-version", "1", "-dest", listed}, {refused(listed), "Fail with error[0]"}},
        {{"-pack", "release", "-version", "1", "-dest", "acme.wrp", "-key", "acme.wrp"},
         {refused(key), "Fail with error[0]"}},
    };
    for (const auto& [arguments, lines] : cases) {
        SCOPED_TRACE(arguments.back());
        expect_clean_failure(arguments, lines);
    }
}

// Every output path that names something other than a regular file, for every operation's output:
// refused before any work, the thing at the path left as it was. Device nodes (the null device's
// numbers) only where the test may make them.
TEST_P(HostileUse, OutputThatIsNotARegularFileIsRefused)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    write_bytes(work().file("src.bin"), pattern_bytes(700, 3));
    write_bytes(work().file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(300, 2)));
    make_web(work(), "web");
    QDir().mkpath(QString::fromStdString(work().file("release")));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1", "-key", key, "-dest", "release/x.wrp", "src.bin"}).exit_code,
              0);

    ASSERT_EQ(mkfifo(work().file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("fifo", work().file("link-to-fifo").c_str()), 0);
    QDir().mkpath(QString::fromStdString(work().file("folder")));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = work().file("socket");
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::vector<std::string> outputs = {"fifo", "link-to-fifo", "folder", "socket"};
    if (mknod(work().file("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        outputs.push_back("device");

    for (const std::string& output : outputs) {
        const std::string not_a_file = "Output is not a regular file[path:" + work().file(output) + "]";
        const std::pair<std::vector<std::string>, Lines> cases[] = {
            {{"-wrapping", "ocx", "-version", "1", "-dest", output, "src.bin"},
             {not_a_file, "ocx wrapping failed with error[0]"}},
            {{"-wrapping", "webpage", "-version", "1", "-dest", output, "web"},
             {not_a_file, "webpage wrapping failed with error[0]"}},
            {{"-key", "acme.wrp", "-dest", output, "fw.wrp"}, {not_a_file, "Encrypt file failed with error[-1]"}},
            {{"-genkey", "0A0B0C0D0E0F", "-company", "Acme", "-force", output}, {not_a_file}},
            {{"-pack", "release", "-version", "1", "-dest", output}, {not_a_file, "Fail with error[0]"}},
        };
        for (const auto& [arguments, lines] : cases) {
            SCOPED_TRACE(output + " " + arguments.front());
            expect_clean_failure(arguments, lines);
        }
    }
    close(listening);
}

TEST_P(HostileUse, VersionFromStandardInput)
{
    write_text(work().file("brand.conf"), "[x]");
    const ProcessResult endless = through_shell("exec \"$0\" \"$@\" </dev/zero", {"-wrapping", "brand", "brand.conf"});
    EXPECT_EQ(endless.exit_code, 1);
    EXPECT_EQ(lines_of(endless.standard_output), (Lines{"Version error", "brand wrapping failed with error[0]"}));

    EXPECT_EQ(run({"-wrapping", "brand", "brand.conf"}, "2.5\r\n").exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("brand.conf.wrp"), "BRD0", "", "2.5", nullptr));
}

// ".." after a symbolic link leads up from the link's target; a working folder too deep for Qt to
// name, or one that is gone, is not taken for the root.
TEST_P(HostileUse, RelativePathsNameTheFileTheSystemOpens)
{
    QDir().mkpath(QString::fromStdString(work().file("sub/inner")));
    ASSERT_EQ(symlink("sub/inner", work().file("L").c_str()), 0);
    write_bytes(work().file("sub/s.bin"), pattern_bytes(500, 6));
    write_bytes(work().file("s.bin"), pattern_bytes(500, 7)); // what folding "L/.." as text names
    EXPECT_EQ(run({"-wrapping", "ocx", "-version", "1", "L/../s.bin"}).exit_code, 0);
    const Bytes meant = read_bytes(work().file("sub/s.bin"));
    EXPECT_TRUE(wrapped_as(work().file("sub/s.bin.wrp"), "OCX0", "", "1", &meant));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("s.bin.wrp"))));

    // Made by the shell, 45 folders of 100 bytes: the path read from the root names s.bin here.
    const std::string step(100, 'd');
    const Snapshot before = snapshot_of(work().path());
    const ProcessResult too_deep = through_shell(
        "for i in $(seq 45); do mkdir " + step + " && cd -P " + step + " || exit 9; done; exec \"$0\" \"$@\"",
        {"-wrapping", "ocx", "-version", "1", work().path().substr(1) + "/s.bin"});
    EXPECT_EQ(too_deep.exit_code, 1) << too_deep.standard_output;
    EXPECT_EQ(run_process("rm", {"-rf", work().file(step)}).exit_code, 0);
    EXPECT_TRUE(before == snapshot_of(work().path())) << differences(before, snapshot_of(work().path()));

    QDir().mkpath(QString::fromStdString(work().file("gone")));
    const ProcessResult gone =
        through_shell("cd gone && rmdir ../gone && exec \"$0\" \"$@\"", {"-wrapping", "ocx", "-version", "1", "s.bin"});
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

TEST_P(HostileUse, NamesCannotForgeLinesAndCompanyNamesMustTravel)
{
    // As printf formats, so that the shell passes bytes that are not UTF-8.
    for (const char* name : {"a\\nSuccess", "a\\033[2J", "a/b", "a\\\\b", "tab\\t", "nel\\302\\205", "\\377"}) {
        SCOPED_TRACE(name);
        expect_clean_failure({"-genkey", "0A1B2C3D4E5F", "-company", name, "k.wrp"}, {"Company name error"},
                             [&](const std::vector<std::string>& arguments) {
                                 return through_shell("exec \"$0\" \"$1\" \"$2\" \"$3\" \"$(printf \"$4\")\" \"$5\"",
                                                      arguments);
                             });
    }
    const std::string forged = "a\nWrapping success";
    write_bytes(work().file(forged), pattern_bytes(300, 9));
    EXPECT_EQ(
        lines_of(run({"-wrapping", "ocx", "-version", "1", forged}).standard_output),
        (Lines{"wrapping file success. [path:" + work().path() + "/a\\x0aWrapping success.wrp]", "Wrapping success"}));
    EXPECT_EQ(lines_of(run({"-wrapping", "\x1b[2J", "x"}).standard_output), Lines{"Unknown wrapping type[\\x1b[2J]"});
}

// A display that does not answer leaves the command line headless and refuses the dialogs; a
// profile that is a FIFO is not read (reading it would block for ever).
TEST_P(HostileUse, EnvironmentThatDoesNotAnswer)
{
    write_bytes(work().file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(300, 2)));
    QDir().mkpath(QString::fromStdString(config().file("Tev")));
    ASSERT_EQ(mkfifo(config().file("Tev/kestrane.conf").c_str(), 0600), 0);
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    ProcessOptions dead_display = options({{"DISPLAY", ":4242"}});
    dead_display.timeout_ms = 20000;

    const ProcessResult info = run_program(program(), {"-info", "fw.wrp"}, dead_display);
    EXPECT_EQ(info.exit_code, 0) << info.standard_error;
    EXPECT_EQ(info.standard_output.rfind("File: fw.wrp\n", 0), 0u);
    EXPECT_EQ(run_program(program(), {"-key", key, "fw.wrp"}, dead_display).exit_code, 0);
    // Qt, which then makes an application of its own, takes no option: -style is unknown here.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"-style", "fusion", "-info", "fw.wrp"}}) {
        const ProcessResult dialogs = run_program(program(), arguments, dead_display);
        EXPECT_EQ(dialogs.exit_code, 2);
        EXPECT_NE(dialogs.standard_error.find("usage: kestrane"), std::string::npos);
    }
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(HostileUse);

} // namespace
