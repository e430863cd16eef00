#include "pack/package_file.h"

#include "common/block_stream.h"
#include "common/input_file.h"
#include "common/progress.h"
#include "common/resource_failures.h"
#include "format/little_endian.h"
#include "common/path_rules.h"
#include "format/tagged_file_writer.h"
#include "format/tagged_layout.h"

#include <algorithm>
#include <optional>
#include <span>

namespace kestrane {
namespace {

constexpr uint64_t kMaxPayloadLength = UINT32_MAX;
constexpr size_t kCountFieldSize = 4;
constexpr size_t kSizeFieldSize = 4;

struct ListedFile {
    std::string path;
    uint64_t size = 0;
};

// The path and current size of every listed file; nothing when one of them cannot be opened.
std::optional<std::vector<ListedFile>> size_listed_files(const std::string& source_directory,
                                                         const std::vector<std::string>& names)
{
    std::vector<ListedFile> files;
    files.reserve(names.size());
    for (const std::string& name : names) {
        ListedFile file{join_path(source_directory, name)};
        InputFile input;
        if (!input.open(file.path))
            return std::nullopt;
        file.size = input.size();
        files.push_back(std::move(file));
    }
    return files;
}

// L = 4 + (4 + S1) + ... + (4 + SN); nothing when it does not fit the 32-bit length field.
std::optional<uint32_t> payload_length(const std::vector<ListedFile>& files)
{
    uint64_t length = kCountFieldSize;
    for (const ListedFile& file : files) {
        if (file.size > kMaxPayloadLength)
            return std::nullopt;
        length += kSizeFieldSize + file.size;
        if (length > kMaxPayloadLength)
            return std::nullopt;
    }
    return static_cast<uint32_t>(length);
}

// Appends one entry: its size field, then exactly the bytes the file had when it was sized. A file
// that ends early or goes on past that size has changed under us and fails the packing.
int append_listed_file(TaggedFileWriter& writer, const ListedFile& file, Progress& progress)
{
    InputFile input;
    if (!input.open(file.path))
        return kPackListedFileUnreadable;
    uint8_t size_field[kSizeFieldSize];
    store_u32_le(size_field, static_cast<uint32_t>(file.size));
    if (!writer.append(size_field, sizeof size_field))
        return kPackCannotCreate;
    // Read straight into the writer's buffer: the digest takes it from there.
    constexpr StreamResults kResults{kPackOk, kPackListedFileUnreadable, kPackListedFileUnreadable};
    return stream_blocks(
        input, file.size, progress, kResults, [&writer] { return writer.payload_buffer(); },
        [&writer](const uint8_t*, size_t count) { return writer.append_buffer(count) ? kPackOk : kPackCannotCreate; });
}

InformationField package_information(const std::string& version)
{
    return build_information_field("", version);
}

// Writes the package file of the sized files; the destination is replaced only when all of it was
// written.
int write_listed_files(const std::vector<ListedFile>& files, uint32_t length, const std::string& version,
                       const std::string& destination, IoPolicy& io, ProgressPresenter* presenter)
{
    // Until finish() commits, the package lives in a temporary file beside the destination; any
    // early return below discards it.
    TaggedFileWriter writer(destination, FileAccess::Default, {}, io);
    if (!writer.begin(tags::kPackage, tags::kPlain, package_information(version), length))
        return kPackCannotCreate;
    uint8_t count_field[kCountFieldSize];
    store_u32_le(count_field, static_cast<uint32_t>(files.size()));
    if (!writer.append(count_field, sizeof count_field))
        return kPackCannotCreate;
    uint64_t total = 0;
    for (const ListedFile& file : files)
        total += file.size;
    Progress progress("Packing " + last_path_component(destination), total, presenter);
    for (const ListedFile& file : files) {
        const int result = append_listed_file(writer, file, progress);
        if (result != kPackOk)
            return result;
    }
    return writer.finish() == kWriteOk ? kPackOk : kPackCannotCreate;
}

} // namespace

int pack_files(const std::string& version, const std::string& source_directory, std::vector<std::string> names,
               const std::string& destination, IoPolicy& io, ProgressPresenter* progress)
{
    if (version.empty())
        return kPackVersionMissing;
    if (version_too_long(version))
        return kPackVersionTooLong;
    const auto files = size_listed_files(source_directory, names);
    if (!files)
        return kPackListedFileUnreadable;
    const auto length = payload_length(*files);
    if (!length)
        return kPackPayloadTooLarge;
    return or_cannot_create(kPackCannotCreate,
                            [&] { return write_listed_files(*files, *length, version, destination, io, progress); });
}

} // namespace kestrane
