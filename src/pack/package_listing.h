#pragma once

#include "format/tagged_header_reader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrane {

class InputFile;

// What a package file holds, as the headers of its entries say: read for display, so it trusts no
// size field and reads only the size fields and the entries' headers, never past the payload.

// One packed file.
struct PackageEntry {
    HeaderSummary summary; // header bytes past the entry's end read as zero; no path
    uint64_t size = 0;
    // The entry is as long as its own length field says: L + 156 bytes for a plain tagged file,
    // S + 284 for an encrypted package. False for anything else.
    bool length_fits = false;
};

enum class PackageLayout {
    Fits,       // every announced entry lies in the payload, and the payload ends with the last
    DoesNotFit, // an entry runs past the payload, or bytes follow the last one
    Unreadable, // the file could not be read
};

struct PackageListing {
    uint32_t count = 0;                // the entry count the payload announces
    std::vector<PackageEntry> entries; // in order, at most kMaxListedEntries of them
    PackageLayout layout = PackageLayout::DoesNotFit;
    bool lengths_fit = true; // every entry read, listed or not, has a length that fits
};

// Entries beyond this many are checked but not kept, so that memory stays bounded.
inline constexpr size_t kMaxListedEntries = 4096;

// Lists the payload of a package file, `length` bytes at `offset` of `file`.
PackageListing list_package_entries(InputFile& file, uint64_t offset, uint64_t length);

} // namespace kestrane
