// Wrapping on the command line: every wrapping type, image names and versions, raw wraps and chosen
// destinations, and the faults a wrap meets (a read-only folder, a full file system, an archiver that
// fails, a source that changes while it is read).

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace kestrane::test;

namespace {

std::string script(const std::string& body)
{
    return "#!/bin/sh\n" + body + "\n";
}

void make_executable(const std::string& path, const std::string& text)
{
    write_text(path, text);
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

TEST_P(CommandLineMode, EveryWrappingWord)
{
    const std::string web = make_web_directory();
    const std::string addon = work().file("addon");
    QDir().mkpath(QString::fromStdString(addon));
    write_text(addon + "/plugin.bin", "plugin");
    const Bytes brand = bytes_of("[brand]\nname=acme\n");
    write_bytes(work().file("brand.conf"), brand);
    const Bytes cabinet = pattern_bytes(5000, 3);
    write_bytes(work().file("viewer.cab"), cabinet);
    write_bytes(work().file("dome.bin"), cabinet);
    make_uimage(work().file("boot.img"), "ub2m.15.bin", pattern_bytes(2000, 5));
    make_uimage(work().file("rescue.krn"), "EMERGENCY IMAGE KR7r1", pattern_bytes(2000, 6));
    const std::string kernel = make_kernel();

    struct Case {
        std::string word, source, type, model, version;
        const Bytes* payload;
    };
    const Case cases[] = {
        {"kernel", kernel, "FRM0", "", "1.2.3", nullptr},
        {"addon", addon, "AON0", "", "0.9", nullptr},
        {"webpage", web, "WEB0", "", "2.0.1", nullptr},
        {"brand", work().file("brand.conf"), "BRD0", "", "3", nullptr},
        {"ocx", work().file("viewer.cab"), "OCX0", "", "4.4", &cabinet},
        {"bootloader", work().file("boot.img"), "BOT0", "", "15", nullptr},
        {"dome7720", work().file("dome.bin"), "DOM0", "7720", "5", &cabinet},
        {"dome7760", work().file("dome.bin"), "DOM0", "7760", "5", &cabinet},
        {"emergency", work().file("rescue.krn"), "EMG0", "", "6.0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const ProcessResult result = run({"-wrapping", c.word, "-version", c.version, c.source});
        EXPECT_EQ(result.exit_code, 0) << result.standard_error;
        EXPECT_EQ(lines_of(result.standard_output), (Lines{success_line(c.source + ".wrp"), "Wrapping success"}));
        EXPECT_TRUE(wrapped_as(c.source + ".wrp", c.type, c.model, c.version, c.payload));
    }
    // The kernel image's own version wins over the option.
    const Bytes image = read_bytes(kernel);
    EXPECT_TRUE(wrapped_as(kernel + ".wrp", "FRM0", "", "1.2.3", &image));

    const ProcessResult listing = run_process("tar", {"-tf", "-"}, [&] {
        const Bytes file = read_bytes(web + ".wrp");
        return Bytes(file.begin() + 140, file.end() - 16);
    }());
    EXPECT_NE(listing.standard_output.find("./css/site.css"), std::string::npos) << listing.standard_output;
    EXPECT_NE(listing.standard_output.find("./index.html"), std::string::npos);
}

TEST_P(CommandLineMode, ImageNameRules)
{
    make_uimage(work().file("other.krn"), "Some other image", pattern_bytes(500, 1));
    make_uimage(work().file("uboot.img"), "uboot.bin", pattern_bytes(500, 1));
    make_uimage(work().file("b7.img"), "ub2m.007.bin", pattern_bytes(500, 1));
    make_uimage(work().file("lower.krn"), "linux image hw xxxx 9r9", pattern_bytes(500, 1));
    make_uimage(work().file("huge.img"), "ub2m.99999999999999999999.bin", pattern_bytes(500, 1));
    make_uimage(work().file("model.img"), "ub99999999999m.1.bin", pattern_bytes(500, 1));

    EXPECT_EQ(lines_of(run({"-wrapping", "kernel", "other.krn"}).standard_output), Lines{"Invalid firmware file"});
    for (const char* image : {"uboot.img", "huge.img", "model.img"}) {
        const ProcessResult refused = run({"-wrapping", "bootloader", image});
        EXPECT_EQ(refused.exit_code, 1) << image;
        EXPECT_EQ(lines_of(refused.standard_output), Lines{"Invalid bootloader file"}) << image;
    }
    EXPECT_EQ(run({"-wrapping", "bootloader", "b7.img"}).exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("b7.img.wrp"), "BOT0", "", "7", nullptr));
    EXPECT_EQ(run({"-wrapping", "kernel", "lower.krn"}).exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("lower.krn.wrp"), "FRM0", "", "9.9", nullptr));
}

TEST_P(CommandLineMode, VersionRules)
{
    const std::string addon = work().file("addon");
    QDir().mkpath(QString::fromStdString(addon));
    write_text(work().file("brand.conf"), "[x]");

    const ProcessResult too_long = run({"-wrapping", "addon", "-version", std::string(21, '1'), addon});
    EXPECT_EQ(lines_of(too_long.standard_output), (Lines{"Version error", "addon wrapping failed with error[0]"}));
    EXPECT_EQ(too_long.exit_code, 1);

    const ProcessResult empty = run({"-wrapping", "brand", "-version:", "brand.conf"});
    EXPECT_EQ(lines_of(empty.standard_output), (Lines{"Input version", "brand wrapping failed with error[0]"}));

    const ProcessResult twenty = run({"-wrapping", "brand", "-version", std::string(20, '2'), "brand.conf"});
    EXPECT_EQ(twenty.exit_code, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(addon + ".wrp")));
}

TEST_P(CommandLineMode, VersionAskedOnStandardInput)
{
    write_text(work().file("brand.conf"), "[x]");
    const ProcessResult asked = run({"-wrapping", "brand", "brand.conf"}, "\n2.5\n");
    EXPECT_EQ(asked.exit_code, 0);
    EXPECT_EQ(lines_of(asked.standard_output),
              (Lines{"Input version", success_line(work().file("brand.conf.wrp")), "Wrapping success"}));
    EXPECT_TRUE(wrapped_as(work().file("brand.conf.wrp"), "BRD0", "", "2.5", nullptr));

    const ProcessResult cancelled = run({"-wrapping", "ocx", "brand.conf"}, "");
    EXPECT_EQ(cancelled.exit_code, 1);
    EXPECT_EQ(cancelled.standard_output, ""); // Cancel ends the operation without a message
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

// A folder name a shell would run commands from: the archiver gets it as one argument and runs in
// it; nothing is executed. The recording archiver shows the exact arguments, the real one the
// result.
TEST_P(Faults, ShellWordsInAFolderNameAreJustAName)
{
    const std::string name = "web $(touch PWNED1) `touch PWNED2`; touch PWNED3 & 'q\" | x";
    const std::string web = make_web(work(), name);
    make_executable(program_dir().file("tar"),
                    script("pwd > \"$ARCHIVER_LOG\"; for a in \"$@\"; do echo \"$a\" >> \"$ARCHIVER_LOG\"; done; exit 1"));
    const TempDir logs;
    const ProcessResult recorded =
        run_program(program(), {"-wrapping", "webpage", "-version", "2.0", name}, options({{"ARCHIVER_LOG", logs.file("log")}}));
    EXPECT_EQ(recorded.exit_code, 1);
    std::ifstream log(logs.file("log"));
    Lines logged;
    for (std::string line; std::getline(log, line);)
        logged.push_back(line);
    // The archive is the run's own: the destination, six random characters and ".tmp".
    const std::string random =
        logged.size() == 4 ? logged[2].substr(std::min(logged[2].size(), web.size() + 5), 6) : "";
    EXPECT_EQ(random.size(), 6u);
    EXPECT_EQ(logged, (Lines{web, "cvf", web + ".wrp." + random + ".tmp", "."}));

    QFile::remove(QString::fromStdString(program_dir().file("tar")));
    const ProcessResult wrapped = run({"-wrapping", "webpage", "-version", "2.0", name});
    ASSERT_EQ(wrapped.exit_code, 0) << wrapped.standard_output;
    EXPECT_EQ(lines_of(wrapped.standard_output),
              (Lines{"wrapping file success. [path:" + web + ".wrp]", "Wrapping success"}));
    const Bytes file = read_bytes(web + ".wrp");
    write_bytes(logs.file("payload.tar"), Bytes(file.begin() + 140, file.end() - 16));
    const ProcessResult listing = run_process("tar", {"-tf", logs.file("payload.tar")});
    EXPECT_NE(listing.standard_output.find("./index.html"), std::string::npos) << listing.standard_output;
    EXPECT_NE(listing.standard_output.find("./img/logo.png"), std::string::npos);
    for (const std::string& folder : {work().path(), web, program_dir().path(), config().path()})
        for (const char* planted : {"PWNED1", "PWNED2", "PWNED3"})
            EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "/" + planted))) << folder << "/" << planted;
}

TEST_P(ReadOnlyFolder, WrapKeepsTheOldWrappedFile)
{
    const std::string locked = locked_folder([](const std::string& dir) {
        write_bytes(dir + "/viewer.cab", pattern_bytes(5000, 3));
        write_text(dir + "/viewer.cab.wrp", "the wrapped file of last week");
    });
    expect_clean_failure({"-wrapping", "ocx", "-version", "4.4", locked + "/viewer.cab"},
                         {"Fail with error code[-2]", "ocx wrapping failed with error[-2]"}, unprivileged());
}

TEST_P(ReadOnlyFolder, DirectoryWrapLeavesNoArchive)
{
    const std::string locked = locked_folder([this](const std::string& dir) {
        QDir().rename(QString::fromStdString(make_web(work())), QString::fromStdString(dir + "/web"));
        write_text(dir + "/web.wrp", "old");
    });
    // The archive passes through a FIFO elsewhere: what fails is the wrapped file's creation.
    expect_clean_failure({"-wrapping", "webpage", "-version", "2.0", locked + "/web"},
                         {"Fail with error code[-2]", "webpage wrapping failed with error[-2]"}, unprivileged());
}

TEST_P(FullFileSystem, WrapThatDoesNotFitKeepsTheOldFile)
{
    write_bytes(m_mount + "/viewer.cab", pattern_bytes(150 * 1024, 7));
    write_text(m_mount + "/viewer.cab.wrp", "the wrapped file of last week");
    expect_clean_failure({"-wrapping", "ocx", "-version", "4.4", m_mount + "/viewer.cab"},
                         {"Fail with error code[-2]", "ocx wrapping failed with error[-2]"});
}

// The archiver of a directory wrap, replaced by scripts in the program directory (which the program
// looks in first).
class Archiver : public Faults {
protected:
    void SetUp() override
    {
        m_web = make_web(work());
        write_text(m_web + ".wrp", "the wrapped web pages of last week");
    }

    void expect_archiver_failure(std::vector<std::pair<std::string, std::string>> environment = {})
    {
        expect_clean_failure({"-wrapping", "webpage", "-version", "2.0", "web"},
                             {"Fail with error code[-1]", "webpage wrapping failed with error[-1]"},
                             [&](const std::vector<std::string>& arguments) {
                                 return run_program(program(), arguments, options(environment));
                             });
    }

    std::string m_web;
};

TEST_P(Archiver, MissingEverywhere)
{
    const TempDir empty_path;
    expect_archiver_failure({{"PATH", empty_path.path()}});
}

TEST_P(Archiver, ExitsWithAFailure)
{
    make_executable(program_dir().file("tar"), script("exit 2"));
    expect_archiver_failure();
}

TEST_P(Archiver, WritesPartOfTheArchiveThenFails)
{
    make_executable(program_dir().file("tar"), script("head -c 5000 /dev/zero > \"$2\"; exit 1"));
    expect_archiver_failure();
}

TEST_P(Archiver, SucceedsWithoutWritingAnything)
{
    make_executable(program_dir().file("tar"), script("exit 0"));
    expect_archiver_failure();
}

TEST_P(Archiver, IsKilled)
{
    make_executable(program_dir().file("tar"), script("head -c 5000 /dev/zero > \"$2\"; kill -KILL $$"));
    expect_archiver_failure();
}

TEST_P(Archiver, CannotBeStarted)
{
    write_text(program_dir().file("tar"), "not a program");
    ASSERT_EQ(chmod(program_dir().file("tar").c_str(), 0644), 0);
    expect_archiver_failure();
}

// Whether a process has ended: gone, or a zombie that nobody has reaped yet.
bool process_ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const size_t state = line.rfind(')');
    return state != std::string::npos && line.substr(state + 2, 1) == "Z";
}

// A termination signal while the archiver runs ends the wrap as Cancel does (the archiver ended,
// the private FIFO folder gone, the destination as it was) and the program with 128 + the signal.
// Killed outright, the program takes the archiver with it.
TEST_P(Archiver, TerminationSignalsEndTheWrapAndTheArchiver)
{
    const TempDir temporary;
    const std::string pid_file = temporary.file("archiver.pid");
    make_executable(program_dir().file("tar"),
                    script("case \"$*\" in *--totals*) exec \"" + QStandardPaths::findExecutable("tar").toStdString()
                           + "\" \"$@\" ;; esac\n"
                             "echo $$ > \"$ARCHIVER_PID\".new && mv \"$ARCHIVER_PID\".new \"$ARCHIVER_PID\"\n"
                             "exec sleep 30"));
    const TempDir private_temporary;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        QFile::remove(QString::fromStdString(pid_file));
        const Snapshot before = snapshot_of(work().path());
        QProcess wrap;
        // As from an interactive shell: a background job would start with SIGINT ignored.
        wrap.setChildProcessModifier([] {
            for (const int taken : {SIGHUP, SIGINT, SIGQUIT, SIGTERM})
                ::signal(taken, SIG_DFL);
        });
        start_program(wrap, program(), {"-wrapping", "webpage", "-version", "2.0", "web"},
                      options({{"ARCHIVER_PID", pid_file}, {"TMPDIR", private_temporary.path()}}));
        std::string archiver;
        for (int waited = 0; archiver.empty() && waited < 200; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::getline(std::ifstream(pid_file), archiver);
        }
        ASSERT_FALSE(archiver.empty()) << "the archiver did not start";
        ::kill(static_cast<pid_t>(wrap.processId()), signal);
        ASSERT_TRUE(wrap.waitForFinished(10000));
        const pid_t archiver_pid = std::stoi(archiver);
        for (int waited = 0; !process_ended(archiver_pid) && waited < 100; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(process_ended(archiver_pid)) << "the archiver outlived the program";
        if (signal == SIGKILL)
            break; // its private folder is what a kill may leave behind
        EXPECT_EQ(wrap.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(wrap.exitCode(), 128 + signal);
        EXPECT_EQ(lines_of(wrap.readAllStandardOutput().toStdString()), Lines{});
        const Snapshot after = snapshot_of(work().path());
        EXPECT_TRUE(before == after) << differences(before, after);
        EXPECT_EQ(QDir(QString::fromStdString(private_temporary.path())).isEmpty(), true);
    }
}

TEST_P(ChangingSource, SourceThatShrinksWhileWrappedLeavesNothing)
{
    const std::string source = work().file("big.cab");
    const Bytes content = pattern_bytes(kBig, 10);
    const Interrupted run = run_changing({"-wrapping", "ocx", "-version", "1.0", "big.cab"}, source,
                                         [&] {
                                             write_bytes(source, content);
                                             write_text(source + ".wrp", "old");
                                         },
                                         [&] { shrink(source); });
    ASSERT_TRUE(run.mid_read) << "the program was never stopped while it read the source";
    EXPECT_EQ(run.result.exit_code, 1);
    EXPECT_EQ(lines_of(run.result.standard_output), (Lines{"Fail with error code[-6]", "ocx wrapping failed with error[-6]"}));
    EXPECT_EQ(read_bytes(source + ".wrp"), bytes_of("old"));
    EXPECT_EQ(QDir(QString::fromStdString(work().path())).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_P(ChangingSource, SourceRemovedWhileWrappedIsWrappedWhole)
{
    // Removing a name does not take the bytes from a reader that has the file open.
    const std::string source = work().file("big.cab");
    const Bytes content = pattern_bytes(kBig, 11);
    const Interrupted run = run_changing({"-wrapping", "ocx", "-version", "1.0", "big.cab"}, source,
                                         [&] { write_bytes(source, content); },
                                         [&] { ASSERT_EQ(unlink(source.c_str()), 0); });
    ASSERT_TRUE(run.mid_read);
    EXPECT_EQ(run.result.exit_code, 0) << run.result.standard_output;
    EXPECT_TRUE(wrapped_as(source + ".wrp", "OCX0", "", "1.0", &content));
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(Archiver);

} // namespace
