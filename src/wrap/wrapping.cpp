#include "wrap/wrapping.h"

#include "common/file_io.h"
#include "common/messages.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "crypt/sealing.h"
#include "format/path_rules.h"
#include "format/tagged_file.h"
#include "wrap/archiver.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrane {
namespace {

constexpr size_t kCopyBlockSize = size_t{1} << 20;
// Brand files are read in whole chunks, so that only the very last chunk of the file is short.
constexpr size_t kSealBlockChunks = kCopyBlockSize / sealing::kChunkSize;
constexpr size_t kSealInputBlockSize = kSealBlockChunks * sealing::kChunkSize;
constexpr uint64_t kMaxPayloadLength = UINT32_MAX;

bool is_brand(std::string_view type_tag)
{
    return type_tag == tags::kBrand;
}

uint64_t payload_length(std::string_view type_tag, uint64_t source_size)
{
    return is_brand(type_tag) ? seal_all_size(source_size) : source_size;
}

// A brand file is text that begins with '[' or ' '. Leaves the file at its start again.
bool starts_like_brand_file(InputFile& source)
{
    uint8_t first = 0;
    if (!source.read_exact(&first, 1) || !source.seek(0))
        return false;
    return first == '[' || first == ' ';
}

// Reads exactly `count` bytes; a short read means the file shrank while we read it.
int read_block(InputFile& source, uint8_t* block, size_t count)
{
    const int64_t got = source.read_up_to(block, count);
    if (got < 0)
        return kWrapSourceUnreadable;
    return got == static_cast<int64_t>(count) ? kWrapOk : kWrapSourceChanged;
}

// After its announced size the source must be at its end; anything more means it grew.
int check_source_end(InputFile& source)
{
    uint8_t beyond = 0;
    const int64_t got = source.read_some(&beyond, 1);
    if (got < 0)
        return kWrapSourceUnreadable;
    return got == 0 ? kWrapOk : kWrapSourceChanged;
}

int copy_payload(InputFile& source, uint64_t size, TaggedFileWriter& writer, Progress& progress)
{
    for (uint64_t left = size; left > 0;) {
        // Read straight into the writer's buffer: the digest takes it from there.
        const std::span<uint8_t> buffer = writer.payload_buffer();
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (const int result = read_block(source, buffer.data(), count); result != kWrapOk)
            return result;
        if (!writer.append_buffer(count))
            return kWrapCannotCreate;
        left -= count;
        progress.advance(count);
    }
    return check_source_end(source);
}

// Seals `count` bytes chunk by chunk into `sealed` (one block per chunk, the last chunk possibly
// short or empty) and appends the blocks.
int seal_and_append(ChunkSealer& sealer, const uint8_t* data, size_t count, bool final,
                    std::vector<uint8_t>& sealed, TaggedFileWriter& writer)
{
    using namespace sealing;
    const size_t chunks = count / kChunkSize + (final ? 1 : 0);
    for (size_t i = 0; i < chunks; ++i) {
        const size_t offset = i * kChunkSize;
        const size_t length = std::min(kChunkSize, count - offset);
        if (!sealer.seal(data + offset, length, sealed.data() + i * kBlockSize))
            return kWrapSealingFailed;
    }
    return writer.append(sealed.data(), chunks * kBlockSize) ? kWrapOk : kWrapCannotCreate;
}

// The payload of a brand file: exactly what seal_all gives for the whole file, produced one
// input block at a time.
int seal_payload(InputFile& source, uint64_t size, TaggedFileWriter& writer, Progress& progress)
{
    ChunkSealer sealer;
    if (!sealer.ready())
        return kWrapSealingFailed;
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(size, kSealInputBlockSize)));
    std::vector<uint8_t> sealed((kSealBlockChunks + 1) * sealing::kBlockSize);
    uint64_t left = size;
    do {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        if (const int result = read_block(source, block.data(), count); result != kWrapOk)
            return result;
        left -= count;
        progress.advance(count);
        const bool final = left == 0;
        if (const int result = seal_and_append(sealer, block.data(), count, final, sealed, writer);
            result != kWrapOk)
            return result;
    } while (left > 0);
    return check_source_end(source);
}

bool version_too_long(const std::string& version)
{
    return version.size() > layout::kVersionMaxLength;
}

// The directory types: archive the directory into `archive`, then wrap the archive.
int wrap_directory(const std::string& directory, const std::string& archive, const std::string& destination,
                   const WrappingType& type, const std::string& version, const TaggedFileWriter::Observer& observer)
{
    // A leftover from an earlier run must not pass for this run's archive.
    remove_file(archive);
    const int result = archive_directory(directory, archive)
        ? write_wrapped_file(archive, destination, type.type_tag, type.model_tag, version, observer)
        : kWrapSourceUnreadable;
    remove_file(archive);
    return result;
}

// The directory types need an existing directory: shows why and returns true when it is not one.
bool refuse_non_directory(const std::string& source)
{
    if (!path_exists(source)) {
        show_message(format_text("Entered path is invalid\n[%s]", source.c_str()));
        return true;
    }
    if (!is_directory(source)) {
        show_message(format_text("Entered path is not directory\n[%s]", source.c_str()));
        return true;
    }
    return false;
}

} // namespace

const std::array<WrappingType, kWrappingTypeCount>& wrapping_types()
{
    static constexpr std::array<WrappingType, kWrappingTypeCount> types = {{
        {"WebPage(DIR)", "webpage", tags::kWeb, "", true},
        {"AddOn(DIR)", "addon", tags::kAddOn, "", true},
        {"Brand", "brand", tags::kBrand, "", false},
        {"OCX", "ocx", tags::kOcx, "", false},
        {"Kernel", "kernel", tags::kFirmware, "", false},
        {"Bootloader", "bootloader", tags::kBootloader, "", false},
        {"Dome(DOV7720)", "dome7720", tags::kDome, "7720", false},
        {"Dome(DOV7760)", "dome7760", tags::kDome, "7760", false},
        {"Emergency", "emergency", tags::kEmergency, "", false},
        {"RAW type", "", tags::kRaw, "", false},
    }};
    return types;
}

int write_wrapped_file(const std::string& source_path, const std::string& destination_path,
                       std::string_view type_tag, std::string_view model_tag, const std::string& version,
                       const TaggedFileWriter::Observer& observer)
{
    if (type_tag.size() > layout::kTagSize)
        return kWrapFieldTooLong;
    InputFile source;
    if (!source.open(source_path))
        return kWrapSourceUnreadable;
    if (model_tag.size() > layout::kModelTagSize || version_too_long(version))
        return kWrapFieldTooLong;
    const uint64_t size = source.size();
    const uint64_t length = payload_length(type_tag, size);
    if (length > kMaxPayloadLength)
        return kWrapSourceTooLarge;
    if (is_brand(type_tag) && !starts_like_brand_file(source))
        return kWrapNotBrandFile;

    // Until finish() commits, the output lives beside the destination; an early return drops it.
    TaggedFileWriter writer(destination_path, FileAccess::Default, observer);
    if (!writer.begin(type_tag, tags::kPlain, build_information_field(model_tag, version),
                      static_cast<uint32_t>(length)))
        return kWrapCannotCreate;
    Progress progress("Wrapping " + last_path_component(source_path), size);
    const int result = is_brand(type_tag) ? seal_payload(source, size, writer, progress)
                                          : copy_payload(source, size, writer, progress);
    if (result != kWrapOk)
        return result;
    return writer.finish() == kWriteOk ? kWrapOk : kWrapCannotCreate;
}

int wrap_file(unsigned type, const std::string& version, const std::string& source_path,
              const std::string& destination_path, const TaggedFileWriter::Observer& observer)
{
    if (source_path.empty()) {
        show_message("Select src file");
        return 0;
    }
    if (version.empty()) {
        show_message("Input version");
        return 0;
    }
    if (version_too_long(version)) {
        show_message("Version error");
        return 0;
    }
    if (type >= kWrappingTypeCount) {
        show_message("Invalid file type");
        return -1;
    }
    const WrappingType& wrapping = wrapping_types()[type];
    int result = 0;
    if (wrapping.directory) {
        if (refuse_non_directory(source_path))
            return 0;
        result = wrap_directory(source_path, destination_path + ".tmp", destination_path, wrapping, version, observer);
    } else {
        result = write_wrapped_file(source_path, destination_path, wrapping.type_tag, wrapping.model_tag, version,
                                    observer);
    }
    if (result < 0) {
        show_message(format_text("Fail with error code[%d]", result));
        return result;
    }
    show_message(format_text("wrapping file success. [path:%s]", destination_path.c_str()));
    return 1;
}

} // namespace kestrane
