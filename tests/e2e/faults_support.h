#pragma once

#include "e2e/e2e_support.h"

#include <QDir>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrane::test {

using Lines = std::vector<std::string>;

// Every file and folder below a root with its bytes ("<folder>" for folders, "<special>" for
// FIFOs and the like), names as raw bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot_of(const std::string& root);

// Names that differ between two snapshots, for a readable failure.
std::string differences(const Snapshot& before, const Snapshot& after);

// Faults met by the built program on the command line: every failure must end with its message and
// exit status 1 and leave the work folder as it was.
class Faults : public CommandLineProgramTest {
protected:
    // The environment run() gives the program, with `extra` variables added.
    ProcessOptions options(std::vector<std::pair<std::string, std::string>> extra = {}) const;

    // Runs the program and expects a failure: exit status 1, exactly these lines, and the work
    // folder exactly as it was.
    void expect_clean_failure(const std::vector<std::string>& arguments, const Lines& lines,
                              const std::function<ProcessResult(const std::vector<std::string>&)>& runner = {});
};

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

// Runs the program and, once it has read `after_bytes` of `watched` (seen in /proc), stops it,
// calls `change` if the file is still being read, and lets it go on. Stopped, the program cannot
// race the change: the outcome is certain rather than a matter of timing.
struct Interrupted {
    ProcessResult result;
    bool mid_read = false;
};

Interrupted run_interrupted(const std::string& program, const std::vector<std::string>& arguments,
                            const ProcessOptions& options, const std::string& watched, uint64_t after_bytes,
                            const std::function<void()>& change);

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

} // namespace kestrane::test
