// The last step of an output, the rename into place: it fails honestly, and a termination that
// arrives meanwhile waits for it.

#include "common/atomic_output_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <csignal>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class StepRecorder : public IoPolicy {
public:
    void step_done(OutputStep step) override { steps.push_back(step); }
    std::vector<OutputStep> steps;
};

class SignalAtRename : public IoPolicy {
public:
    void before_rename() override { std::raise(SIGTERM); }
};

} // namespace

TEST(Commit, FailedLastStepIsAFailureAndLeavesNothing)
{
    // The folder removed under the temporary file; a folder in the destination's way of the rename.
    for (const bool remove_folder : {true, false}) {
        TempDir dir;
        const QString folder = QString::fromStdString(dir.file("out"));
        ASSERT_TRUE(QDir().mkpath(folder));
        AtomicOutputFile output(dir.file("out/file.bin"));
        ASSERT_TRUE(output.open() && output.write("bytes", 5));
        ASSERT_TRUE(remove_folder ? QDir(folder).removeRecursively() : QDir().mkpath(folder + "/file.bin/x"));
        EXPECT_FALSE(output.commit());
        EXPECT_TRUE(output.failed());
        const QStringList left = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
        EXPECT_EQ(left, remove_folder ? QStringList() : QStringList{"file.bin"});
    }
}

// SIGTERM raised as the commit begins ends the program only once the file has its name, and no
// temporary file stays beside it.
TEST(Commit, TerminationWaitsForTheRename)
{
    TempDir dir;
    const std::string destination = dir.file("file.bin");
    write_text(destination, "old");
    EXPECT_EXIT(
        {
            SignalAtRename policy;
            AtomicOutputFile output(destination, policy);
            if (output.open() && output.write("new", 3))
                output.commit();
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(read_bytes(destination), bytes_of("new"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file.bin"});
}

// The bytes are on the disk before the name leads to them: a crash in between must find the old
// file, never a new name over data that is not yet written. Also past the first MiB, which is
// written past the page cache.
TEST(Commit, DataIsSyncedBeforeTheRename)
{
    TempDir dir;
    StepRecorder recorder;
    const Bytes data = pattern_bytes(3 << 20, 5);
    AtomicOutputFile output(dir.file("file.bin"), recorder);
    const bool committed = output.open() && output.write(data.data(), data.size()) && output.commit();
    ASSERT_TRUE(committed);
    EXPECT_EQ(recorder.steps, (std::vector<OutputStep>{OutputStep::Synced, OutputStep::Renamed}));
    EXPECT_EQ(read_bytes(dir.file("file.bin")), data);
}
