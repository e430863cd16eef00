#pragma once

#include "format/tagged_file_writer.h"

#include <string>
#include <string_view>

namespace kestrane {

class Progress;
class ProgressPresenter;

// A wrapped file is a tagged file (attribute "PLAN") whose type tag names the content, whose
// information field carries the version (and the camera model for the dome types) and whose
// payload is the source's bytes: a tar archive for the directory types, the sealed file for
// "BRD0", the file unchanged for every other type.

// Results of write_wrapped_file (and, when writing failed, of wrap_file).
inline constexpr int kWrapOk = 1;
// The source cannot be opened or read; for a directory: the archiver failed to start, exited
// with a non-zero status or left no archive.
inline constexpr int kWrapSourceUnreadable = -1;
// The destination cannot be created or a write to it failed.
inline constexpr int kWrapCannotCreate = -2;
// Type tag or model tag longer than 4 characters, or version longer than 20.
inline constexpr int kWrapFieldTooLong = -3;
// Brand file that is empty or whose first byte is neither '[' nor ' '.
inline constexpr int kWrapNotBrandFile = -4;
// Sealing a brand file failed.
inline constexpr int kWrapSealingFailed = -5;
// The source's size changed while it was read.
inline constexpr int kWrapSourceChanged = -6;
// The payload would be longer than 0xFFFFFFFF bytes, the most its length field holds.
inline constexpr int kWrapSourceTooLarge = -7;
// And kOperationCancelled (common/progress.h) when the user cancelled the work.

// Writes the wrapped file; no messages. Long work is shown by `progress` (none: not shown). The source is streamed with bounded memory and the
// destination replaced atomically: on any failure no file is left and an existing destination
// stays as it was. Checks, in order: type tag (-3), source opened (-1), model tag and version
// (-3), payload size (-7), brand first byte (-4); then the destination is written (-2 on a failed
// create or write, or when the system runs short of memory or threads; -1 on a failed read, -5 on a
// failed sealing, -6 when the source changed size, kOperationCancelled when the user cancelled).
int write_wrapped_file(const std::string& source_path, const std::string& destination_path, std::string_view type_tag,
                       std::string_view model_tag, const std::string& version,
                       const TaggedFileWriter::Observer& observer = {}, IoPolicy& io = system_io(),
                       ProgressPresenter* progress = nullptr);

// A payload that arrives as a stream whose length is known before its first byte (a directory's
// archive as the archiver writes it).
class PayloadStream {
public:
    virtual ~PayloadStream() = default;
    // Reads up to `count` bytes, waiting for them as long as `progress` is not cancelled: the number
    // read (0 at the end of the stream), or a negative wrap result (kOperationCancelled too).
    virtual int64_t read_some(void* destination, size_t count, Progress& progress) = 0;
    // After the announced length: kWrapOk when the stream ended there and its producer succeeded;
    // kWrapSourceChanged when more came; another negative wrap result when the producer failed.
    virtual int end(Progress& progress) = 0;
};

// write_wrapped_file for a payload of `size` bytes read from `stream` (not a brand file); the
// same checks and results, and the destination is replaced only when the stream ended as announced.
int write_wrapped_stream(PayloadStream& stream, uint64_t size, const std::string& title,
                         const std::string& destination_path, std::string_view type_tag, std::string_view model_tag,
                         const std::string& version, const TaggedFileWriter::Observer& observer = {},
                         IoPolicy& io = system_io(), ProgressPresenter* progress = nullptr);

} // namespace kestrane
