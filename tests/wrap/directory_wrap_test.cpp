#include "wrap/wrapping.h"

#include "common/file_io.h"
#include "common/program_directory.h"
#include "format/little_endian.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <thread>

#include <unistd.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

std::string system_tar()
{
    return QStandardPaths::findExecutable("tar").toStdString();
}

// Sorted output lines of a program, each without a leading "./"; empty lines dropped.
std::vector<std::string> sorted_lines(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::string& directory = {})
{
    const ProcessResult result = run_process(program, arguments, {}, directory);
    EXPECT_EQ(result.exit_code, 0) << result.standard_error;
    std::vector<std::string> lines;
    std::istringstream text(result.standard_output);
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("./", 0) == 0)
            line.erase(0, 2);
        if (!line.empty())
            lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Every entry of a directory, as find sees it; folders end with "/", as tar lists them.
std::vector<std::string> tree_of(const std::string& root)
{
    return sorted_lines("find", {".", "-mindepth", "1", "-type", "d", "-printf", "%P/\\n", "-o", "-printf", "%P\\n"}, root);
}

// What tar -tf lists for the archive in the payload of a wrapped file.
std::vector<std::string> payload_listing(const std::string& wrapped)
{
    const Bytes file = read_bytes(wrapped);
    EXPECT_EQ(load_u32_le(file.data() + 136), file.size() - 156);
    const std::string archive = wrapped + ".payload.tar";
    write_bytes(archive, Bytes(file.begin() + 140, file.end() - 16));
    return sorted_lines(system_tar(), {"-tf", archive});
}

// The temporary archives left in a folder: its entries whose names end in ".tmp".
std::vector<std::string> temporary_archives(const std::string& folder)
{
    std::vector<std::string> found;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList({"*.tmp"}, QDir::Files | QDir::Hidden))
        found.push_back(name.toStdString());
    return found;
}

void make_site(const std::string& root)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(root + "/img/icons")));
    QDir().mkpath(QString::fromStdString(root + "/css"));
    write_text(root + "/index.html", "<html>kestrane</html>\n");
    write_text(root + "/css/site.css", "body { margin: 0 }\n");
    write_bytes(root + "/img/icons/logo one.png", pattern_bytes(5000, 4));
    write_text(root + "/.htaccess", "deny from none\n");
}

// Each test owns the program directory: an empty one, so that the system's tar is used, unless
// the test places a `tar` of its own in it.
class DirectoryWrap : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_program_directory(m_program.path());
        make_site(m_site);
    }
    void TearDown() override { set_program_directory(""); }

    void place_archiver(const std::string& script, bool executable = true)
    {
        const std::string path = m_program.file("tar");
        write_text(path, "#!/bin/sh\n" + script);
        const auto exec = executable ? QFileDevice::ExeOwner : QFileDevice::Permissions{};
        ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(path), QFileDevice::ReadOwner | QFileDevice::WriteOwner | exec));
    }

    TempDir m_work;
    const std::string m_site = m_work.file("web");

private:
    TempDir m_program;
};

} // namespace

TEST_F(DirectoryWrap, PayloadListsEveryFileAndASmallDirectoryIsQuick)
{
    const QString current = QDir::currentPath();
    for (const unsigned type : {kWrapWebPage, kWrapAddOn}) {
        const std::string destination = m_work.file("web" + std::to_string(type) + ".wrp");
        QElapsedTimer timer;
        timer.start();
        const Outcome outcome = wrap_file(type, "3.1", m_site, destination);
        ASSERT_EQ(outcome.code, 1);
        const qint64 elapsed = timer.elapsed();
        std::cout << "[ timing   ] small directory wrap: " << elapsed << " ms\n";
        EXPECT_LT(elapsed, 500);
        EXPECT_EQ(outcome.message, "wrapping file success. [path:" + destination + "]");

        const Bytes file = read_bytes(destination);
        EXPECT_EQ(text_at(file, 0, 8), type == kWrapWebPage ? "WEB0PLAN" : "AON0PLAN");
        EXPECT_EQ(to_hex(file.data() + file.size() - 16, 16), openssl_md5_hex(Bytes(file.begin(), file.end() - 16)));
        EXPECT_EQ(payload_listing(destination), tree_of(m_site));
        const ProcessResult logo = run_process(system_tar(), {"-xOf", destination + ".payload.tar", "./img/icons/logo one.png"});
        EXPECT_EQ(bytes_of(logo.standard_output), pattern_bytes(5000, 4));
        EXPECT_EQ(temporary_archives(m_work.path()), std::vector<std::string>{});
    }
    EXPECT_EQ(QDir::currentPath(), current);
}

TEST_F(DirectoryWrap, WaitsForAnArchiverThatRunsOverASecond)
{
    // 400 files in 20 folders, archived by the real tar, which then stays 1.2 s: a wrap that did
    // not wait for the archiver's end would not know whether it succeeded.
    for (int n = 0; n < 400; ++n) {
        const std::string folder = m_site + "/d" + std::to_string(n / 20);
        QDir().mkpath(QString::fromStdString(folder));
        write_bytes(folder + "/f" + std::to_string(n) + ".bin", pattern_bytes(16384, static_cast<uint32_t>(n)));
    }
    place_archiver("\"" + system_tar() + "\" \"$@\" || exit $?\nsleep 1.2\n");
    const std::string destination = m_work.file("large.wrp");
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(wrap_file(kWrapWebPage, "1.0", m_site, destination).code, 1);
    const qint64 elapsed = timer.elapsed();
    std::cout << "[ timing   ] 6.6 MB directory, archiver over a second: " << elapsed << " ms\n";
    EXPECT_GE(elapsed, 1200);
    EXPECT_EQ(payload_listing(destination), tree_of(m_site));
    EXPECT_EQ(temporary_archives(m_work.path()), std::vector<std::string>{});
}

// The archive goes from the archiver straight into the wrapped file: what the archiver writes is a
// FIFO, in a private folder that goes with the wrap.
TEST_F(DirectoryWrap, ArchiveIsStreamedNotStored)
{
    const TempDir temporary;
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(temporary.path()));
    const std::string log = m_work.file("kinds.log");
    place_archiver("stat -L -c %F \"$2\" >> \"" + log + "\"\nexec \"" + system_tar() + "\" \"$@\"\n");
    const int result = wrap_file(kWrapWebPage, "1.0", m_site, m_work.file("web.wrp")).code;
    qputenv("TMPDIR", previous);
    ASSERT_EQ(result, 1);
    // The sizing pass writes to the null device, the archive pass to the FIFO.
    EXPECT_EQ(read_bytes(log), bytes_of("character special file\nfifo\n"));
    EXPECT_EQ(payload_listing(m_work.file("web.wrp")), tree_of(m_site));
    EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
}

// With SOURCE_DATE_EPOCH, two copies of a tree, touched at other times and owned by others, wrap to
// the same bytes; tar -tv shows entries sorted by name, times clamped to the epoch, owner 0/0.
TEST_F(DirectoryWrap, SourceDateEpochMakesCopiesOfATreeWrapAlike)
{
    const std::string copy = m_work.file("copy");
    ASSERT_EQ(run_process("cp", {"-R", m_site, copy}).exit_code, 0);
    ASSERT_EQ(run_process("touch", {"-d", "2031-02-03 04:05", copy + "/css/site.css", copy}).exit_code, 0);
    if (geteuid() == 0) {
        ASSERT_EQ(run_process("chown", {"-R", "4321:4321", copy}).exit_code, 0);
    }
    qputenv("SOURCE_DATE_EPOCH", "1700000000"); // 2023-11-14 22:13:20 UTC
    const int results[] = {wrap_file(kWrapWebPage, "1.0", m_site, m_work.file("a.wrp")).code,
                           wrap_file(kWrapWebPage, "1.0", copy, m_work.file("b.wrp")).code};
    qunsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(results[0], 1);
    ASSERT_EQ(results[1], 1);
    EXPECT_TRUE(read_bytes(m_work.file("a.wrp")) == read_bytes(m_work.file("b.wrp")));

    payload_listing(m_work.file("b.wrp"));
    const ProcessResult listed = run_process(system_tar(), {"--utc", "-tvf", m_work.file("b.wrp.payload.tar")});
    std::vector<std::string> names;
    std::istringstream lines(listed.standard_output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string mode, owner, size, date, time, name;
        std::getline(fields >> mode >> owner >> size >> date >> time >> std::ws, name);
        EXPECT_EQ(owner + " " + date + " " + time, "0/0 2023-11-14 22:13") << name;
        EXPECT_EQ(mode.substr(5, 1) + mode.substr(8, 1), "--") << name; // no write for group, others
        names.push_back(name);
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(names.size(), tree_of(m_site).size() + 1); // and "./"
}

TEST_F(DirectoryWrap, FailingArchiverGivesMinusOneAndLeavesNoArchive)
{
    const std::string destination = m_work.file("web.wrp");
    const std::pair<std::string, bool> archivers[] = {
        {"exit 2\n", true},                                        // writes nothing
        {"\"" + system_tar() + "\" \"$@\"\nexit 2\n", true},       // writes the archive, then fails
        {"exit 0\n", true},                                        // succeeds without an archive
        {"exit 0\n", false},                                       // cannot be started
    };
    for (const auto& [script, executable] : archivers) {
        SCOPED_TRACE(script);
        place_archiver(script, executable);
        const Outcome outcome = wrap_file(kWrapAddOn, "1.0", m_site, destination);
        EXPECT_EQ(outcome.code, -1);
        EXPECT_EQ(outcome.message, "Fail with error code[-1]");
        EXPECT_EQ(m_work.entries(), std::vector<std::string>{"web"}); // no output, no temporary archive
    }
}

TEST_F(DirectoryWrap, ArchiverOutputStaysOutOfOurs)
{
    write_text(m_site + "/unmistakable-name.txt", "x");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int result = wrap_file(kWrapWebPage, "1.0", m_site, m_work.file("web.wrp")).code;
    const std::string output = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(result, 1);
    EXPECT_EQ(output.find("unmistakable-name"), std::string::npos) << output;
    EXPECT_EQ(payload_listing(m_work.file("web.wrp")), tree_of(m_site));
}

TEST_F(DirectoryWrap, RelativeDestinationNamesOneArchiveForBothSteps)
{
    QDir().mkpath(QString::fromStdString(m_work.file("out")));
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(m_work.file("out"))));
    const int result = wrap_file(kWrapWebPage, "1.0", m_site, "web.wrp").code;
    const QString after = QDir::currentPath();
    QDir::setCurrent(current);

    ASSERT_EQ(result, 1);
    EXPECT_EQ(after.toStdString(), m_work.file("out"));
    EXPECT_EQ(payload_listing(m_work.file("out/web.wrp")), tree_of(m_site));
    EXPECT_EQ(temporary_archives(m_work.file("out")), std::vector<std::string>{});
    EXPECT_EQ(temporary_archives(m_site), std::vector<std::string>{});
}

// Two wraps of one directory at once (two builds, say), with an archiver that writes its archive
// in two steps: each run archives into a file of its own, so that neither takes the other's
// archive, half written, for its own.
TEST_F(DirectoryWrap, TwoWrapsOfOneDirectoryAtOnceEachWrapAWholeArchive)
{
    place_archiver("\"" + system_tar() + "\" cf \"$2.$$\" . || exit 1\n"
                   "{ head -c 5120 \"$2.$$\"; sleep 0.4; tail -c +5121 \"$2.$$\"; } > \"$2\"\n"
                   "status=$?; rm -f \"$2.$$\"; exit $status\n");
    const std::string destination = m_work.file("web.wrp");
    struct Run {
        int result = 0;
        Bytes written; // every byte of the wrapped file, as the writer wrote it
    } runs[2];
    auto wrap = [&](Run& run) {
        run.result = wrap_file(kWrapWebPage, "1.0", m_site, destination, [&run](const uint8_t* data, size_t count) {
                         run.written.insert(run.written.end(), data, data + count);
                     }).code;
    };
    std::thread first(wrap, std::ref(runs[0]));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::thread second(wrap, std::ref(runs[1]));
    first.join();
    second.join();

    for (Run& run : runs) {
        if (run.result != 1) {
            EXPECT_LT(run.result, 0);
            continue;
        }
        const std::string copy = m_work.file("run.wrp");
        write_bytes(copy, run.written);
        EXPECT_EQ(payload_listing(copy), tree_of(m_site)); // tar -tf reads it to its end
        remove_file(copy);
        remove_file(copy + ".payload.tar");
    }
    EXPECT_TRUE(runs[0].result == 1 || runs[1].result == 1) << "neither run wrapped the directory";
    EXPECT_EQ(m_work.entries(), (std::vector<std::string>{"web", "web.wrp"})); // no temporary archive left
}
