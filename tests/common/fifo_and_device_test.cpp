// Inputs that are not regular files: a FIFO would block the reader until some writer opened it.

#include "common/file_io.h"
#include "format/tagged_header_reader.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

using namespace kestrane;
using namespace kestrane::test;

TEST(SpecialFiles, FifoIsRefusedWithoutWaitingForAWriter)
{
    TempDir dir;
    const std::string fifo = dir.file("a.enc");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&] {
        InputFile input;
        HeaderSummary summary;
        return std::make_pair(input.open(fifo), read_header_summary(fifo, summary));
    });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Release the blocked reader (each open waits again) before failing, so that the test ends.
        while (opened.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        FAIL() << "opening a FIFO waited for a writer";
    }
    const auto [input_opened, summary_result] = opened.get();
    EXPECT_FALSE(input_opened);
    EXPECT_EQ(summary_result, -1);
}

TEST(SpecialFiles, DevicesAreRefused)
{
    InputFile input;
    EXPECT_FALSE(input.open("/dev/zero"));
    EXPECT_FALSE(input.open("/dev/null"));
}
