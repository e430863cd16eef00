// The last step of an output: the rename into place. It fails honestly, and a termination that
// arrives while it runs waits for it.

#include "common/atomic_output_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <csignal>
#include <functional>

using namespace kestrane;
using namespace kestrane::test;

TEST(Commit, FailedLastStepIsAFailure)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& folder, const std::string& destination)> break_it;
    };
    const Case cases[] = {
        {"folder removed", [](const std::string& folder, const std::string&) {
             ASSERT_TRUE(QDir(QString::fromStdString(folder)).removeRecursively());
         }},
        {"rename refused", [](const std::string&, const std::string& destination) {
             ASSERT_TRUE(QDir().mkpath(QString::fromStdString(destination + "/in-the-way")));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.file("out");
        const std::string destination = folder + "/file.bin";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
        AtomicOutputFile output(destination);
        ASSERT_TRUE(output.open());
        ASSERT_TRUE(output.write("bytes", 5));
        c.break_it(folder, destination);
        EXPECT_FALSE(output.commit());
        EXPECT_TRUE(output.failed());
        // Nothing of the output is left: at most the folder and what stood in the way.
        EXPECT_LE(dir.entry_count(), 1u);
        const QDir left(QString::fromStdString(folder));
        EXPECT_TRUE(!left.exists() || left.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden)
                                          == QStringList{"file.bin"});
    }
}

// The signal is raised as the commit begins; the program ends by it only once the file has its
// name, and no temporary file stays beside it.
TEST(Commit, TerminationWaitsForTheRename)
{
    TempDir dir;
    const std::string destination = dir.file("file.bin");
    write_text(destination, "old");
    EXPECT_EXIT(
        {
            set_commit_hook_for_tests([] { std::raise(SIGTERM); });
            AtomicOutputFile output(destination);
            if (output.open() && output.write("new", 3))
                output.commit();
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(read_bytes(destination), bytes_of("new"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file.bin"});
}
