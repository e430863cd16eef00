// The program as a whole on the command line: usage errors, help and option conventions, batch
// mode, paths and names that a shell or a byte-blind program would get wrong, outputs that name
// inputs, and an environment that does not answer.

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kestrane::test;

namespace {

TEST_P(CommandLineMode, RefusalsBeforeAnyWork)
{
    struct Case {
        std::vector<std::string> arguments;
        Lines lines;
    };
    const Case cases[] = {
        {{"-key", "/keys/a b.wrp"}, {"invalid argument [-key \"/keys/a b.wrp\"]"}},
        {{"-wrapping", "kernel"}, {"Specify file path for wrapping"}},
        {{"-wrapping", "nonsense"}, {"Specify file path for wrapping"}},
        {{"-wrapping", "Kernel", "x.krn"}, {"Unknown wrapping type[Kernel]"}},
        {{"-wrapping", "kernel", "absent.krn"}, {"Failed to get firmware information with error[-1]"}},
        {{"-wrapping", "bootloader", "absent.img"}, {"Failed to get bootloader information with error[-1]"}},
    };
    for (const Case& c : cases) {
        const ProcessResult result = run(c.arguments);
        EXPECT_EQ(result.exit_code, 1) << c.arguments[0];
        EXPECT_EQ(lines_of(result.standard_output), c.lines);
    }
}

TEST_P(CommandLineMode, RelativeFileArgumentAndEveryOptionSyntax)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "010203040506");
    const Bytes wrapped = plain_tagged_bytes("OCX0", pattern_bytes(300, 2));
    QDir().mkpath(QString::fromStdString(work().file("sub")));
    write_bytes(work().file("sub/fw.wrp"), wrapped);

    const std::vector<std::vector<std::string>> syntaxes = {
        {"-key", key, "sub/fw.wrp"},
        {"--key", key, "./sub/../sub/fw.wrp"},
        {"-key:" + key, "sub/fw.wrp"},
        {"--key:" + key, work().file("sub/fw.wrp")},
        {"sub/fw.wrp", "-key", "acme.wrp"}, // relative key path, options after the file
    };
    for (const auto& arguments : syntaxes) {
        QFile::remove(QString::fromStdString(work().file("sub/fw.wrp-Acme.enc")));
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 0) << arguments[0] << " " << result.standard_output;
        EXPECT_TRUE(package_matches(read_bytes(work().file("sub/fw.wrp-Acme.enc")), wrapped, "ENCR", "Acme",
                                    key_bytes("010203040506")));
    }
}

TEST_P(CommandLineMode, WithoutKeyOrWrappingTheDialogsNeedADisplay)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"file.wrp"}, {"-version", "1.0"}, {"-KEY", "x.wrp", "f"}, {"-key"}}) {
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(result.standard_output, "");
        EXPECT_NE(result.standard_error.find("usage: kestrane"), std::string::npos);
    }
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

// A name whose bytes are not UTF-8 cannot be named through Qt: it is refused, and the file whose
// name Qt would have made of it (U+FFFD in place of the byte) stays untouched. QProcess would
// re-encode such an argument itself, so a shell builds it from printf and starts the program.
TEST_P(Faults, NamesThatAreNotUtf8AreRefused)
{
    write_text(work().file("\xef\xbf\xbd.wrp"), "precious");
    write_text(work().file("\xef\xbf\xbd.cab"), "another file");
    write_text(work().file("\xff.cab"), "the file meant");
    const auto with_raw_name = [this](const std::string& printf_format) {
        return [this, printf_format](const std::vector<std::string>& arguments) {
            std::vector<std::string> command = {"-c", "exec \"$0\" \"$@\" \"$(printf '" + printf_format + "')\"",
                                                program()};
            command.insert(command.end(), arguments.begin(), arguments.end());
            return run_program("sh", command, options());
        };
    };
    expect_clean_failure({"-genkey", "0A1B2C3D4E5F", "-company", "Acme"}, {"Fail with Error code[-2]"},
                         with_raw_name("\\377.wrp"));
    expect_clean_failure({"-wrapping", "ocx", "-version", "1"},
                         {"Fail with error code[-1]", "ocx wrapping failed with error[-1]"},
                         with_raw_name("\\377.cab"));
}

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

// The suites whose cases are spread over the files of each operation, instantiated once, here.
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(CommandLineMode);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(BuildServer);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(Faults);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(ReadOnlyFolder);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(FullFileSystem);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(ChangingSource);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(HostileUse);

} // namespace
