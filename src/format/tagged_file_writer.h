#pragma once

#include "common/block_pipeline.h"
#include "common/file_io.h"
#include "common/non_copyable.h"
#include "format/md5.h"
#include "format/tagged_layout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kestrane {

// Writer results shared by every tagged-file writer.
inline constexpr int kWriteOk = 1;
inline constexpr int kCannotCreateDestination = -2;

// Writes a tagged file whose payload arrives in pieces: header first (with the final payload
// length), then the payload, then finish() appends the MD5 trailer and replaces the destination.
// The digest and the writing each run on a thread of their own while the caller reads the next
// piece; a failed write shows at a later append or at finish().
class TaggedFileWriter : NonCopyable {
public:
    // Sees every byte of the file as it is written, trailer included (to encrypt it on the way).
    using Observer = std::function<void(const uint8_t* data, size_t count)>;

    explicit TaggedFileWriter(const std::string& destination, FileAccess access = FileAccess::Default,
                              Observer observer = {}, IoPolicy& io = system_io());
    ~TaggedFileWriter();

    // False when the destination cannot be created.
    bool begin(std::string_view type_tag, std::string_view attribute_tag,
               const InformationField& information, uint32_t payload_length);
    bool append(const void* data, size_t count);
    // Without a copy: a buffer to read payload bytes into, then append_buffer() with the count read.
    std::span<uint8_t> payload_buffer();
    bool append_buffer(size_t count);
    // kWriteOk, or kCannotCreateDestination when anything failed (no file is left then), including
    // a payload that does not add up to the announced length.
    int finish();

private:
    bool put(const void* data, size_t count);
    bool ok() const { return m_ok && !m_writer.failed(); }
    void stop_writing();

    AtomicOutputFile m_output;
    FileAccess m_access;
    Observer m_observer;
    Md5 m_md5;
    BlockWriter m_writer; // writes m_output
    BlockPipeline m_blocks; // feeds m_md5 and m_writer; declared after them, so it stops first
    uint64_t m_payload_expected = 0;
    uint64_t m_payload_written = 0;
    bool m_ok = false;
};

// Writes a whole tagged file: type tag, attribute tag, information field, payload length, payload
// and the MD5 trailer. kWriteOk, or kCannotCreateDestination (also when the system runs short of
// memory or threads).
int write_tagged_file(const std::string& destination, std::string_view type_tag, std::string_view attribute_tag,
                      const InformationField& information, std::span<const uint8_t> payload,
                      FileAccess access = FileAccess::Default, IoPolicy& io = system_io());

} // namespace kestrane
