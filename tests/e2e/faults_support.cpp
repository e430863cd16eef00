#include "e2e/faults_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace kestrane::test {
namespace {

void collect(const std::string& root, const std::string& relative, Snapshot& snapshot)
{
    DIR* dir = opendir((root + relative).c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        const std::string path = relative + "/" + name;
        struct stat info {};
        if (lstat((root + path).c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            snapshot[path] = "<folder>";
            collect(root, path, snapshot);
            continue;
        }
        if (!S_ISREG(info.st_mode)) { // a FIFO would block the reading
            snapshot[path] = "<special>";
            continue;
        }
        std::ifstream file(root + path, std::ios::binary);
        snapshot[path] = std::string(std::istreambuf_iterator<char>(file), {});
    }
}

} // namespace

Snapshot snapshot_of(const std::string& root)
{
    Snapshot snapshot;
    collect(root, "", snapshot);
    return snapshot;
}

std::string differences(const Snapshot& before, const Snapshot& after)
{
    std::string text;
    for (const auto& [name, bytes] : before) {
        const auto found = after.find(name);
        if (found == after.end())
            text += " removed:" + name;
        else if (found->second != bytes)
            text += " changed:" + name;
    }
    for (const auto& [name, bytes] : after)
        if (!before.count(name))
            text += " added:" + name;
    return text;
}

ProcessOptions Faults::options(std::vector<std::pair<std::string, std::string>> extra) const
{
    ProcessOptions o;
    o.working_directory = work().path();
    o.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    o.set = {{"XDG_CONFIG_HOME", config().path()}, {"HOME", config().path()}};
    o.set.insert(o.set.end(), extra.begin(), extra.end());
    o.timeout_ms = 60000;
    return o;
}

void Faults::expect_clean_failure(const std::vector<std::string>& arguments, const Lines& lines,
                                  const std::function<ProcessResult(const std::vector<std::string>&)>& runner)
{
    const Snapshot before = snapshot_of(work().path());
    const ProcessResult result = runner ? runner(arguments) : run(arguments);
    EXPECT_EQ(result.exit_code, 1) << result.standard_output << result.standard_error;
    EXPECT_EQ(lines_of(result.standard_output), lines);
    const Snapshot after = snapshot_of(work().path());
    EXPECT_TRUE(before == after) << "the work folder changed:" << differences(before, after);
}

namespace {

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

} // namespace

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

} // namespace kestrane::test
