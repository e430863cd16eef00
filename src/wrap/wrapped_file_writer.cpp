#include "wrap/wrapped_file_writer.h"

#include "common/block_stream.h"
#include "common/input_file.h"
#include "common/progress.h"
#include "common/resource_failures.h"
#include "crypt/sealing.h"
#include "common/path_rules.h"

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

constexpr StreamResults kSourceResults{kWrapOk, kWrapSourceUnreadable, kWrapSourceChanged};

int copy_payload(InputFile& source, uint64_t size, TaggedFileWriter& writer, Progress& progress)
{
    // Read straight into the writer's buffer: the digest takes it from there.
    return stream_blocks(
        source, size, progress, kSourceResults, [&writer] { return writer.payload_buffer(); },
        [&writer](const uint8_t*, size_t count) { return writer.append_buffer(count) ? kWrapOk : kWrapCannotCreate; });
}

// A stream that ends early is a source that shrank, unless its producer failed.
int copy_stream(PayloadStream& stream, uint64_t size, TaggedFileWriter& writer, Progress& progress)
{
    for (uint64_t left = size; left > 0;) {
        const std::span<uint8_t> buffer = writer.payload_buffer();
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        const int64_t got = stream.read_some(buffer.data(), count, progress);
        if (got < 0)
            return static_cast<int>(got);
        if (got == 0) {
            const int ended = stream.end(progress);
            return ended == kWrapOk ? kWrapSourceChanged : ended;
        }
        if (!writer.append_buffer(static_cast<size_t>(got)))
            return kWrapCannotCreate;
        left -= static_cast<uint64_t>(got);
        progress.advance(static_cast<uint64_t>(got));
        if (progress.cancelled())
            return kOperationCancelled;
    }
    return stream.end(progress);
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

// The payload of a brand file: every chunk of the whole file sealed, the last one possibly empty,
// produced one input block at a time.
int seal_payload(InputFile& source, uint64_t size, TaggedFileWriter& writer, Progress& progress)
{
    ChunkSealer sealer;
    if (!sealer.ready())
        return kWrapSealingFailed;
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(size, kSealInputBlockSize)));
    std::vector<uint8_t> sealed((kSealBlockChunks + 1) * sealing::kBlockSize);
    uint64_t left = size;
    return stream_blocks(
        source, size, progress, kSourceResults, [&block] { return std::span(block); },
        [&](const uint8_t* data, size_t count) {
            left -= count;
            return seal_and_append(sealer, data, count, left == 0, sealed, writer);
        });
}

// Writes the header, the payload and the trailer; the destination is replaced only when all of it
// was written.
int write_wrapped_payload(InputFile& source, const std::string& source_path, const std::string& destination_path,
                          std::string_view type_tag, std::string_view model_tag, const std::string& version,
                          const TaggedFileWriter::Observer& observer, IoPolicy& io, ProgressPresenter* presenter)
{
    const uint64_t size = source.size();
    // Until finish() commits, the output lives beside the destination; an early return drops it.
    TaggedFileWriter writer(destination_path, FileAccess::Default, observer, io);
    if (!writer.begin(type_tag, tags::kPlain, build_information_field(model_tag, version),
                      static_cast<uint32_t>(payload_length(type_tag, size))))
        return kWrapCannotCreate;
    Progress progress("Wrapping " + last_path_component(source_path), size, presenter);
    const int result = is_brand(type_tag) ? seal_payload(source, size, writer, progress)
                                          : copy_payload(source, size, writer, progress);
    if (result != kWrapOk)
        return result;
    return writer.finish() == kWriteOk ? kWrapOk : kWrapCannotCreate;
}

// The checks of write_wrapped_file that come before the source is read.
int check_fields(std::string_view type_tag, std::string_view model_tag, const std::string& version)
{
    if (type_tag.size() > layout::kTagSize || model_tag.size() > layout::kModelTagSize || version_too_long(version))
        return kWrapFieldTooLong;
    return kWrapOk;
}

} // namespace

int write_wrapped_file(const std::string& source_path, const std::string& destination_path, std::string_view type_tag,
                       std::string_view model_tag, const std::string& version,
                       const TaggedFileWriter::Observer& observer, IoPolicy& io, ProgressPresenter* progress)
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

    return or_cannot_create(kWrapCannotCreate, [&] {
        return write_wrapped_payload(source, source_path, destination_path, type_tag, model_tag, version, observer, io,
                                     progress);
    });
}

int write_wrapped_stream(PayloadStream& stream, uint64_t size, const std::string& title,
                         const std::string& destination_path, std::string_view type_tag, std::string_view model_tag,
                         const std::string& version, const TaggedFileWriter::Observer& observer, IoPolicy& io,
                         ProgressPresenter* presenter)
{
    if (const int checked = check_fields(type_tag, model_tag, version); checked != kWrapOk)
        return checked;
    if (size > kMaxPayloadLength)
        return kWrapSourceTooLarge;
    return or_cannot_create(kWrapCannotCreate, [&] {
        TaggedFileWriter writer(destination_path, FileAccess::Default, observer, io);
        if (!writer.begin(type_tag, tags::kPlain, build_information_field(model_tag, version),
                          static_cast<uint32_t>(size)))
            return kWrapCannotCreate;
        Progress progress(title, size, presenter);
        if (const int copied = copy_stream(stream, size, writer, progress); copied != kWrapOk)
            return copied;
        return writer.finish() == kWriteOk ? kWrapOk : kWrapCannotCreate;
    });
}

} // namespace kestrane
