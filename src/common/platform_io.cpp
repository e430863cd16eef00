#include "common/platform_io.h"

#ifdef __linux__
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#endif

namespace kestrane {

#ifdef __linux__

namespace {

int64_t transfer_result(ssize_t result)
{
    if (result >= 0)
        return result;
    return errno == EINVAL ? kIoDirectRefused : kIoFailed;
}

} // namespace

bool set_direct_io(int descriptor, bool on)
{
    const int flags = fcntl(descriptor, F_GETFL);
    return flags >= 0 && fcntl(descriptor, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

bool mostly_uncached(int descriptor, uint64_t size)
{
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor, 0);
    if (mapped == MAP_FAILED)
        return false;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    size_t cached = resident.size();
    if (mincore(mapped, size, resident.data()) == 0)
        cached = static_cast<size_t>(
            std::count_if(resident.begin(), resident.end(), [](unsigned char flag) { return flag & 1; }));
    munmap(mapped, size);
    return cached * 2 < resident.size();
}

int64_t read_at(int descriptor, void* destination, size_t count, uint64_t offset)
{
    ssize_t got;
    do {
        got = pread(descriptor, destination, count, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return transfer_result(got);
}

int64_t write_at(int descriptor, const void* source, size_t count, uint64_t offset)
{
    ssize_t written;
    do {
        written = pwrite(descriptor, source, count, static_cast<off_t>(offset));
    } while (written < 0 && errno == EINTR);
    return transfer_result(written);
}

void start_writeback(int descriptor, uint64_t offset, uint64_t count)
{
    sync_file_range(descriptor, static_cast<off64_t>(offset), static_cast<off64_t>(count), SYNC_FILE_RANGE_WRITE);
}

void advise_huge_pages(void* memory, size_t size)
{
    madvise(memory, size, MADV_HUGEPAGE);
}

#else

bool set_direct_io(int, bool)
{
    return false;
}

bool mostly_uncached(int, uint64_t)
{
    return false;
}

int64_t read_at(int, void*, size_t, uint64_t)
{
    return kIoFailed;
}

int64_t write_at(int, const void*, size_t, uint64_t)
{
    return kIoFailed;
}

void start_writeback(int, uint64_t, uint64_t) {}

void advise_huge_pages(void*, size_t) {}

#endif

} // namespace kestrane
