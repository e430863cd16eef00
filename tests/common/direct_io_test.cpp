#include "common/direct_output.h"
#include "common/file_io.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <csignal>
#include <fstream>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

constexpr size_t kMiB = size_t{1} << 20;

// Writes `data` through an AtomicOutputFile in pieces of the given sizes, cycling through them;
// from a copy that starts on a page boundary when `page_aligned` (as a BlockPipeline's blocks do).
bool write_in_pieces(const std::string& path, const Bytes& data, const std::vector<size_t>& pieces,
                     bool page_aligned = false)
{
    AlignedBytes aligned = allocate_page_aligned(data.size());
    std::copy(data.begin(), data.end(), aligned.get());
    const uint8_t* bytes = page_aligned ? aligned.get() : data.data();
    AtomicOutputFile output(path);
    if (!output.open())
        return false;
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        const size_t take = std::min(pieces[i % pieces.size()], data.size() - at);
        if (!output.write(bytes + at, take))
            return false;
        at += take;
    }
    return output.commit();
}

// How many of the file's pages are in the page cache.
size_t cached_pages(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY);
    if (descriptor < 0)
        return 0;
    const off_t size = lseek(descriptor, 0, SEEK_END);
    void* mapped = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, descriptor, 0);
    ::close(descriptor);
    if (mapped == MAP_FAILED)
        return 0;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((static_cast<size_t>(size) + page - 1) / page);
    size_t count = 0;
    if (mincore(mapped, static_cast<size_t>(size), resident.data()) == 0)
        for (const unsigned char flag : resident)
            count += flag & 1;
    munmap(mapped, static_cast<size_t>(size));
    return count;
}

bool direct_writes_possible(const TempDir& dir)
{
    const std::string probe = dir.file("probe");
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT, 0600);
    const bool possible = descriptor >= 0 && DirectOutput::attach(descriptor, 0) != nullptr;
    if (descriptor >= 0)
        ::close(descriptor);
    ::unlink(probe.c_str());
    return possible;
}

// A file of `data` whose pages are not in the page cache: written, flushed, then dropped from it.
void write_uncached(const std::string& path, const Bytes& data)
{
    write_bytes(path, data);
    const int descriptor = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(fdatasync(descriptor), 0);
    ASSERT_EQ(posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED), 0);
    ::close(descriptor);
}

// Bytes this process has read so far, as the kernel counts them.
uint64_t bytes_read_by_process()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}


} // namespace

// Sizes around the aligned units and blocks, written in pieces that straddle them, from memory on a
// page boundary (written as it is) or not (gathered first): the file holds exactly the bytes, in
// order, whichever way they went to the disk.
TEST(DirectOutput, FileHoldsExactlyTheBytesWrittenForEverySizeAndPiecing)
{
    TempDir dir;
    const std::vector<std::vector<size_t>> piecings = {{1, 4095, 7}, {kMiB}, {3 * kMiB + 5}, {4096, 100000}};
    for (const size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, kMiB - 1, kMiB, kMiB + 1,
                              5 * kMiB + 123}) {
        const Bytes data = pattern_bytes(size, static_cast<uint32_t>(size % 251));
        for (const auto& pieces : piecings) {
            for (const bool page_aligned : {false, true}) {
                const std::string path = dir.file("out");
                ASSERT_TRUE(write_in_pieces(path, data, pieces, page_aligned)) << size;
                EXPECT_TRUE(read_bytes(path) == data)
                    << size << " bytes in pieces of " << pieces.front() << (page_aligned ? ", aligned" : "");
            }
        }
    }
}

// The point of writing directly: a large output does not fill the page cache; only its first MiB and
// its last, partial block go through it. (Only where the file system takes direct writes at all.)
TEST(DirectOutput, LargeOutputBypassesThePageCache)
{
    TempDir dir;
    if (!direct_writes_possible(dir))
        GTEST_SKIP() << "the temporary folder's file system takes no direct writes";
    const std::string path = dir.file("large");
    const Bytes data = pattern_bytes(16 * kMiB + 10, 3);
    ASSERT_TRUE(write_in_pieces(path, data, {kMiB}, true));
    EXPECT_LE(cached_pages(path), kMiB / 4096 + 2);
    EXPECT_TRUE(read_bytes(path) == data);
}

// A write the kernel refuses (the file size limit, as a full disk would) fails the output, whether it
// hits the cached head, a direct block or the cached tail: nothing is committed and nothing is left behind.
TEST(DirectOutput, KernelWriteFailureFailsTheCommitAndLeavesNothing)
{
    TempDir dir;
    const std::string path = dir.file("out");
    write_text(path, "old");
    const Bytes data = pattern_bytes(3 * kMiB + 500, 5);
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &original), 0);
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    for (const rlim_t limit : {rlim_t{kMiB / 2}, rlim_t{kMiB + kMiB / 2}, rlim_t{3 * kMiB + 100}}) {
        rlimit lowered = original;
        lowered.rlim_cur = limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
        const bool written = write_in_pieces(path, data, {65536});
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &original), 0);
        EXPECT_FALSE(written) << "limit " << limit;
        EXPECT_EQ(read_bytes(path), bytes_of("old"));
        EXPECT_EQ(dir.entry_count(), 1u);
    }
    std::signal(SIGXFSZ, previous_handler);
}

// Reading a large file that is not in the page cache (where the file system reads past it at all).
class UncachedInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!direct_writes_possible(m_dir))
            GTEST_SKIP() << "the temporary folder's file system takes no direct reads";
    }

    // Writes `data` uncached and opens it; the test stops when it is not read directly.
    void open_uncached(const Bytes& data)
    {
        m_path = m_dir.file("cold");
        write_uncached(m_path, data);
        ASSERT_LE(cached_pages(m_path), data.size() / 4096 / 2);
        ASSERT_TRUE(m_input.open(m_path));
        ASSERT_TRUE(m_input.reads_directly());
    }

    TempDir m_dir;
    std::string m_path;
    InputFile m_input;
};

// An uncached large file is read past the cache, and every way of reading it (a header, then
// blocks from an unaligned offset, a seek back, a read past the end) gives the file's bytes.
TEST_F(UncachedInput, GivesTheFileBytesWhicheverWayItIsRead)
{
    const Bytes data = pattern_bytes(9 * kMiB + 4097, 8);
    ASSERT_NO_FATAL_FAILURE(open_uncached(data));
    InputFile& input = m_input;
    EXPECT_EQ(input.size(), data.size());
    Bytes read(data.size() + 100);
    ASSERT_TRUE(input.read_exact(read.data(), 140));
    size_t at = 140;
    while (at < data.size()) {
        const int64_t got = input.read_up_to(read.data() + at, kMiB + 3);
        ASSERT_GT(got, 0);
        at += static_cast<size_t>(got);
    }
    EXPECT_EQ(input.read_up_to(read.data() + at, 100), 0);
    read.resize(at);
    EXPECT_TRUE(read == data);
    EXPECT_LE(cached_pages(m_path), data.size() / 4096 / 2) << "reading filled the page cache";

    ASSERT_TRUE(input.seek(5));
    uint8_t five[5];
    ASSERT_TRUE(input.read_exact(five, sizeof five));
    EXPECT_TRUE(std::equal(five, five + 5, data.begin() + 5));
}

// A cached file is read from the cache; a small one whatever its state.
TEST(InputFile, CachedOrSmallFilesReadThroughTheCache)
{
    TempDir dir;
    const std::string cached = dir.file("cached");
    write_bytes(cached, pattern_bytes(9 * kMiB, 2));
    const std::string small = dir.file("small");
    write_uncached(small, pattern_bytes(kMiB, 2));
    for (const std::string& path : {cached, small}) {
        InputFile input;
        ASSERT_TRUE(input.open(path));
        EXPECT_FALSE(input.reads_directly()) << path;
    }
}

// Bytes appended while the file is read directly are read too: a reader that checks that its
// input did not grow must see the growth.
TEST_F(UncachedInput, SeesBytesAppendedMeanwhile)
{
    const Bytes data = pattern_bytes(8 * kMiB + 10, 4);
    ASSERT_NO_FATAL_FAILURE(open_uncached(data));
    Bytes read(data.size());
    ASSERT_TRUE(m_input.read_exact(read.data(), read.size()));
    QFile appending(QString::fromStdString(m_path));
    ASSERT_TRUE(appending.open(QIODevice::Append));
    ASSERT_EQ(appending.write("more", 4), 4);
    appending.close();
    char beyond[8];
    EXPECT_EQ(m_input.read_up_to(beyond, sizeof beyond), 4);
    EXPECT_EQ(std::string(beyond, 4), "more");
}

// Reading a header off a large uncached file (the package scan does it for every file) reads a
// page, not a whole block.
TEST_F(UncachedInput, HeaderCostsOnePage)
{
    ASSERT_NO_FATAL_FAILURE(open_uncached(pattern_bytes(9 * kMiB, 6)));
    const uint64_t before = bytes_read_by_process();
    uint8_t header[64];
    ASSERT_TRUE(m_input.read_exact(header, sizeof header));
    // A page, and the few bytes of reading the count itself; a block would be 1 MiB.
    EXPECT_LT(bytes_read_by_process() - before, uint64_t{16384});
}
