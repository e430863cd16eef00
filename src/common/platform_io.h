#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrane {

// The system calls behind reading and writing past the page cache, and behind the memory such
// transfers use, in one place. Where the platform has no such thing, direct I/O stays off and these
// report it.

// Turns reading and writing past the page cache on or off for an open file. False when the platform
// or the file system does not have it.
bool set_direct_io(int descriptor, bool on);

// Whether less than half of the file's pages are in the page cache; false when that cannot be told.
bool mostly_uncached(int descriptor, uint64_t size);

// Results of read_at and write_at besides a byte count.
inline constexpr int64_t kIoFailed = -1;
// The file system took the direct I/O flag but refuses the transfer: go through the page cache.
inline constexpr int64_t kIoDirectRefused = -2;

// One positioned read or write, repeated when a signal interrupts it: the bytes moved (0 at the end
// of the file), kIoFailed or kIoDirectRefused.
int64_t read_at(int descriptor, void* destination, size_t count, uint64_t offset);
int64_t write_at(int descriptor, const void* source, size_t count, uint64_t offset);

// Asks the disk to start writing a range of the file out. Only a hint: a flush still makes the file
// durable.
void start_writeback(int descriptor, uint64_t offset, uint64_t count);

// The size of a huge page where the system has them (2 MiB on x86-64 and most 64-bit ARM).
inline constexpr size_t kHugePageSize = size_t{2} << 20;

// Asks the system to back memory (aligned to kHugePageSize) with huge pages. Only a hint.
void advise_huge_pages(void* memory, size_t size);

} // namespace kestrane
