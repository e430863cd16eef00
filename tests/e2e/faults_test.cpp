// Faults met by the built program on the command line: a read-only destination folder, a file
// system that fills up while writing, an archiver that is missing or fails, a source that changes
// while it is read, and paths that a shell or a byte-blind program would get wrong. Every failure
// must end with its message and exit status 1, leave no partial output and leave an existing
// destination byte for byte as it was.

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
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

// A folder the program may not write to. Permissions do not bind root: there the program runs as
// the unprivileged user "nobody" (setpriv), with the test's folders opened to it.
class ReadOnlyFolder : public Faults {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            return;
        for (const TempDir* dir : {&program_dir(), &work()})
            ASSERT_EQ(chmod(dir->path().c_str(), 0755), 0);
        ASSERT_EQ(chmod(config().path().c_str(), 0777), 0);
        const ProcessResult probe = run_program("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                                            "/bin/sh", "-c", "test ! -w " + work().path()},
                                                ProcessOptions{});
        if (probe.exit_code != 0)
            GTEST_SKIP() << "running as root and cannot run the program as the user nobody (setpriv): "
                         << probe.standard_error;
    }
    void TearDown() override
    {
        if (!m_locked.empty())
            chmod(m_locked.c_str(), 0755);
    }

    // Fills a folder, then takes away the right to write to it.
    std::string locked_folder(const std::function<void(const std::string&)>& fill)
    {
        m_locked = work().file("locked");
        QDir().mkpath(QString::fromStdString(m_locked));
        fill(m_locked);
        EXPECT_EQ(chmod(m_locked.c_str(), 0555), 0);
        return m_locked;
    }

    // A file the unprivileged user owns (a key file is readable by its owner only).
    void hand_over(const std::string& path) const
    {
        if (geteuid() == 0) {
            ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        }
    }

    ProcessResult run_unprivileged(const std::vector<std::string>& arguments) const
    {
        if (geteuid() != 0)
            return run(arguments);
        std::vector<std::string> command = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", program()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return run_program("setpriv", command, options());
    }

    std::function<ProcessResult(const std::vector<std::string>&)> unprivileged()
    {
        return [this](const std::vector<std::string>& arguments) { return run_unprivileged(arguments); };
    }

    std::string m_locked;
};

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

TEST_P(ReadOnlyFolder, EncryptKeepsTheOldPackage)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    hand_over(key);
    const std::string locked = locked_folder([this](const std::string& dir) {
        write_bytes(dir + "/image.cab", pattern_bytes(4000, 5));
        ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", dir + "/image.cab"}).exit_code, 0);
        write_text(dir + "/image.cab.wrp-Acme.enc", "old package");
    });
    expect_clean_failure({"-key", key, locked + "/image.cab.wrp"},
                         {"encrypt_package() Failed with error [-2]", "Encrypt file failed with error[-1]"},
                         unprivileged());
}

TEST_P(ReadOnlyFolder, GenerateKeyKeepsTheOldKeyFile)
{
    const std::string locked = locked_folder([](const std::string& dir) { write_text(dir + "/acme.wrp", "old key"); });
    expect_clean_failure({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", locked + "/acme.wrp", "-force"},
                         {"Fail with Error code[-2]"}, unprivileged());
}

TEST_P(ReadOnlyFolder, PackKeepsTheOldPackageFile)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    write_bytes(release + "/viewer.cab", pattern_bytes(3000, 6));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "-key", key, release + "/viewer.cab"}).exit_code, 0);
    QFile::remove(QString::fromStdString(release + "/viewer.cab"));
    QFile::remove(QString::fromStdString(release + "/viewer.cab.wrp"));
    const std::string locked = locked_folder([](const std::string& dir) { write_text(dir + "/out.wrp", "old"); });
    expect_clean_failure({"-pack", release, "-version", "1.0", "-dest", locked + "/out.wrp"},
                         {"Fail with error[-2]"}, unprivileged());
}

// A small file system of its own (tmpfs) that the output does not fit into. Mounting needs the
// right to mount; without it the seam tests in common_tests cover the same paths.
class FullFileSystem : public Faults {
protected:
    void SetUp() override
    {
        m_mount = work().file("small");
        QDir().mkpath(QString::fromStdString(m_mount));
        if (mount("tmpfs", m_mount.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                         << "); the write-limit tests in common_tests cover the same paths";
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            umount2(m_mount.c_str(), MNT_DETACH);
    }

    std::string m_mount;
    bool m_mounted = false;
};

TEST_P(FullFileSystem, WrapThatDoesNotFitKeepsTheOldFile)
{
    write_bytes(m_mount + "/viewer.cab", pattern_bytes(150 * 1024, 7));
    write_text(m_mount + "/viewer.cab.wrp", "the wrapped file of last week");
    expect_clean_failure({"-wrapping", "ocx", "-version", "4.4", m_mount + "/viewer.cab"},
                         {"Fail with error code[-2]", "ocx wrapping failed with error[-2]"});
}

TEST_P(FullFileSystem, EncryptionThatDoesNotFitKeepsTheOldPackage)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    write_bytes(work().file("big.cab"), pattern_bytes(150 * 1024, 8));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "big.cab"}).exit_code, 0);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(work().file("big.cab.wrp")),
                            QString::fromStdString(m_mount + "/big.cab.wrp")));
    write_text(m_mount + "/big.cab.wrp-Acme.enc", "old package");
    expect_clean_failure({"-key", key, m_mount + "/big.cab.wrp"},
                         {"encrypt_package() Failed with error [-2]", "Encrypt file failed with error[-1]"});
}

// The package written alongside the wrapped file takes room of its own: when the wrapped file alone
// fits, it is made, and the encryption fails as after any wrap.
TEST_P(FullFileSystem, RoomForTheWrappedFileButNotForThePackageAlongside)
{
    ASSERT_EQ(mount("tmpfs", m_mount.c_str(), "tmpfs", MS_REMOUNT, "size=4m,mode=0755"), 0);
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const Bytes cabinet = pattern_bytes(3u << 19, 9); // 1.5 MiB: twice fits, three times does not
    write_bytes(m_mount + "/viewer.cab", cabinet);
    const ProcessResult result = run({"-wrapping", "ocx", "-version", "4.4", "-key", key, m_mount + "/viewer.cab"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(lines_of(result.standard_output),
              (Lines{"wrapping file success. [path:" + m_mount + "/viewer.cab.wrp]", "Wrapping success",
                     "encrypt_package() Failed with error [-2]",
                     "error occurs while encrypting after wrapping with error[-1]"}));
    EXPECT_TRUE(wrapped_as(m_mount + "/viewer.cab.wrp", "OCX0", "", "4.4", &cabinet));
    EXPECT_EQ(QDir(QString::fromStdString(m_mount)).entryList(QDir::Files | QDir::Hidden).size(), 2);
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

// Spaces, quotes, a leading dash and non-ASCII letters in file names, checked by the oracles.
TEST_P(Faults, AwkwardNamesAreWrappedAndEncrypted)
{
    const Bytes cabinet = pattern_bytes(6000, 9);
    struct Case {
        std::string argument; // as typed
        std::string file;     // below the work folder
        std::string key;      // key file name, as typed after -key:
    };
    const Case cases[] = {
        {"fw image \"v2\" it's.cab", "fw image \"v2\" it's.cab", "my key's \"acme\".wrp"},
        {"./-viewer.cab", "-viewer.cab", "-acme.wrp"},
        {"펌웨어 이미지.cab", "펌웨어 이미지.cab", "회사 키.wrp"},
    };
    for (const Case& c : cases) {
        write_bytes(work().file(c.file), cabinet);
        make_key_file(c.key, "Acme", "0A0B0C0D0E0F");
        const ProcessResult result = run({"-wrapping", "ocx", "-version", "4.4", "-key:" + c.key, c.argument});
        ASSERT_EQ(result.exit_code, 0) << c.file << "\n" << result.standard_output;
        const std::string wrapped = work().file(c.file) + ".wrp";
        EXPECT_EQ(lines_of(result.standard_output),
                  (Lines{"wrapping file success. [path:" + wrapped + "]", "Wrapping success",
                         "Success to encrypt file. [path:" + wrapped + "-Acme.enc]", "Encrypt success"}));
        EXPECT_TRUE(wrapped_as(wrapped, "OCX0", "", "4.4", &cabinet));
        EXPECT_TRUE(package_matches(read_bytes(wrapped + "-Acme.enc"), read_bytes(wrapped), "ENCR", "Acme",
                                    key_bytes("0A0B0C0D0E0F")));
    }

    // A directory with a non-ASCII name and a space.
    const std::string web = make_web(work(), "웹 페이지");
    const ProcessResult directory = run({"-wrapping", "webpage", "-version", "2.0", "웹 페이지"});
    EXPECT_EQ(directory.exit_code, 0) << directory.standard_output;
    EXPECT_TRUE(wrapped_as(web + ".wrp", "WEB0", "", "2.0", nullptr));

    // A bare leading dash makes an option: the usage text, nothing written.
    const Snapshot before = snapshot_of(work().path());
    const ProcessResult dash = run({"-wrapping", "ocx", "-version", "4.4", "-viewer.cab"});
    EXPECT_EQ(dash.exit_code, 2);
    EXPECT_NE(dash.standard_error.find("usage: kestrane"), std::string::npos);
    EXPECT_TRUE(before == snapshot_of(work().path()));
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

// A FIFO among the packages, or given to -info: left out or refused, not waited on for ever.
TEST_P(Faults, FifoIsNotWaitedOn)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    write_bytes(release + "/viewer.cab", pattern_bytes(3000, 14));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "-key", key, release + "/viewer.cab"}).exit_code, 0);
    QFile::remove(QString::fromStdString(release + "/viewer.cab"));
    QFile::remove(QString::fromStdString(release + "/viewer.cab.wrp"));
    ASSERT_EQ(mkfifo((release + "/a.enc").c_str(), 0600), 0);

    ProcessOptions quick = options();
    quick.timeout_ms = 10000;
    const ProcessResult packed = run_program(program(), {"-pack", "release", "-version", "1.0", "-dest", "out.wrp"}, quick);
    EXPECT_EQ(packed.exit_code, 0) << packed.standard_output;
    EXPECT_EQ(lines_of(packed.standard_output), Lines{"Success"});
    const Bytes package = read_bytes(work().file("out.wrp"));
    ASSERT_GT(package.size(), 144u);
    EXPECT_EQ(package[140], 1); // the one package, not the FIFO

    expect_clean_failure({"-info", release + "/a.enc"}, {"Path[" + release + "/a.enc] is invalid"},
                         [&](const std::vector<std::string>& arguments) { return run_program(program(), arguments, quick); });
}

// Runs the program and, once it has read `after_bytes` of `watched` (seen in /proc), stops it,
// calls `change` if the file is still being read, and lets it go on. Stopped, the program cannot
// race the change: the outcome is certain rather than a matter of timing.
struct Interrupted {
    ProcessResult result;
    bool mid_read = false;
};

uint64_t read_position(pid_t pid, const std::string& watched, bool& open)
{
    open = false;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(fds.c_str());
    if (!dir)
        return 0;
    uint64_t position = 0;
    while (const dirent* entry = readdir(dir)) {
        char target[4096];
        const ssize_t length = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (length <= 0 || std::string(target, static_cast<size_t>(length)) != watched)
            continue;
        std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + entry->d_name);
        std::string label;
        uint64_t value = 0;
        if (info >> label >> value && label == "pos:") {
            open = true;
            position = std::max(position, value);
        }
    }
    closedir(dir);
    return position;
}

Interrupted run_interrupted(const std::string& program, const std::vector<std::string>& arguments,
                            const ProcessOptions& options, const std::string& watched, uint64_t after_bytes,
                            const std::function<void()>& change)
{
    QProcess process;
    start_program(process, program, arguments, options);
    process.closeWriteChannel();
    Interrupted interrupted;
    if (!process.waitForStarted(10000))
        return interrupted;
    const auto pid = static_cast<pid_t>(process.processId());
    const uint64_t size = QFileInfo(QString::fromStdString(watched)).size();
    bool changed = false;
    while (!changed && !process.waitForFinished(0)) {
        bool open = false;
        if (read_position(pid, watched, open) >= after_bytes && open) {
            kill(pid, SIGSTOP);
            const uint64_t stopped_at = read_position(pid, watched, open);
            interrupted.mid_read = open && stopped_at < size;
            if (interrupted.mid_read)
                change();
            changed = true;
            kill(pid, SIGCONT);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    process.waitForFinished(60000);
    interrupted.result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    interrupted.result.standard_output = process.readAllStandardOutput().toStdString();
    interrupted.result.standard_error = process.readAllStandardError().toStdString();
    return interrupted;
}

class ChangingSource : public Faults {
protected:
    static constexpr size_t kBig = 64u << 20;
    static constexpr uint64_t kStarted = 1u << 20; // streaming reads come in blocks of 1 MiB

    // `prepare` lays out the files; a run that reads the whole file before the test catches it
    // (a very busy machine) is prepared and run again.
    Interrupted run_changing(const std::vector<std::string>& arguments, const std::string& watched,
                             const std::function<void()>& prepare, const std::function<void()>& change) const
    {
        Interrupted run;
        for (int attempt = 0; attempt < 3 && !run.mid_read; ++attempt) {
            prepare();
            run = run_interrupted(program(), arguments, options(), watched, kStarted, change);
        }
        return run;
    }

    static void shrink(const std::string& path) { ASSERT_EQ(truncate(path.c_str(), kStarted / 2), 0); }
};

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

// "ENCR" reads the input's payload, "ENC1" (a "RAW0" input) the whole file: either must notice.
TEST_P(ChangingSource, WrappedFileThatChangesWhileEncryptedLeavesNothing)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string wrapped = work().file("big.wrp");
    const auto grow = [](const std::string& path) {
        std::ofstream(path, std::ios::binary | std::ios::app) << std::string(kStarted, 'g');
    };
    struct Case {
        const char* type;
        std::function<void(const std::string&)> change;
    };
    for (const Case& c : {Case{"OCX0", shrink}, Case{"RAW0", shrink}, Case{"RAW0", grow}}) {
        SCOPED_TRACE(c.type);
        const Bytes content = plain_tagged_bytes(c.type, pattern_bytes(kBig, 12));
        const Interrupted run = run_changing({"-key", key, wrapped}, wrapped,
                                             [&] {
                                                 write_bytes(wrapped, content);
                                                 write_text(wrapped + "-Acme.enc", "old package");
                                             },
                                             [&] { c.change(wrapped); });
        ASSERT_TRUE(run.mid_read);
        EXPECT_EQ(run.result.exit_code, 1);
        EXPECT_EQ(lines_of(run.result.standard_output),
                  (Lines{"encrypt_package() Failed with error [-2]", "Encrypt file failed with error[-1]"}));
        EXPECT_EQ(read_bytes(wrapped + "-Acme.enc"), bytes_of("old package"));
        EXPECT_EQ(QDir(QString::fromStdString(work().path())).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }
}

TEST_P(ChangingSource, PackageThatShrinksWhilePackedLeavesNothing)
{
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    // An encrypted package by its header and size: the scan reads no further.
    Bytes package = bytes_of("OCX0ENCR");
    package.resize(140, 0);
    std::copy_n("Acme", 4, package.begin() + 20);
    const uint32_t body_length = kBig - 144; // the rest of the bytes: the key block and the tag
    for (int i = 0; i < 4; ++i)
        package[136 + i] = static_cast<uint8_t>(body_length >> (8 * i));
    const Bytes body = pattern_bytes(kBig, 13);
    package.insert(package.end(), body.begin(), body.end());
    const std::string big = release + "/viewer.enc";
    const Interrupted run = run_changing({"-pack", "release", "-version", "1.0", "-dest", "out.wrp"}, big,
                                         [&] {
                                             write_bytes(big, package);
                                             write_text(work().file("out.wrp"), "old package file");
                                         },
                                         [&] { shrink(big); });
    ASSERT_TRUE(run.mid_read);
    EXPECT_EQ(run.result.exit_code, 1);
    EXPECT_EQ(lines_of(run.result.standard_output), Lines{"Fail with error[-4]"});
    EXPECT_EQ(read_bytes(work().file("out.wrp")), bytes_of("old package file"));
    EXPECT_EQ(QDir(QString::fromStdString(work().path())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(Faults);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(ReadOnlyFolder);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(FullFileSystem);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(Archiver);
KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(ChangingSource);

} // namespace
