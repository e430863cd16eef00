#pragma once

#include "common/block_pipeline.h"
#include "common/file_io.h"
#include "format/md5.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kestrane {

// The one record layout of every file the system writes:
//   0 type tag (4) | 4 attribute tag (4) | 8 information field (128) | 136 payload length (4, LE)
//   | 140 payload (L) | 140+L MD5 trailer (16) over everything before it.
namespace layout {
inline constexpr size_t kTagSize = 4;
inline constexpr size_t kTypeTagOffset = 0;
inline constexpr size_t kAttributeTagOffset = 4;
inline constexpr size_t kInformationOffset = 8;
inline constexpr size_t kInformationSize = 128;
inline constexpr size_t kLengthOffset = 136;
inline constexpr size_t kHeaderSize = 140;
inline constexpr size_t kTrailerSize = 16;
inline constexpr size_t kFramingSize = kHeaderSize + kTrailerSize; // 156

// Sub-fields of the information field, as offsets within the field.
inline constexpr size_t kModelTagField = 0;
inline constexpr size_t kModelTagSize = 4;
inline constexpr size_t kVersionFirstField = 4;
inline constexpr size_t kVersionFirstSize = 8;
inline constexpr size_t kCompanyNameField = 12;
inline constexpr size_t kCompanyNameSize = 16;
inline constexpr size_t kVersionSecondField = 44;
inline constexpr size_t kVersionSecondSize = 12;
inline constexpr size_t kVersionMaxLength = kVersionFirstSize + kVersionSecondSize; // 20

// Bytes a header summary needs: everything up to the end of the version's second slot.
inline constexpr size_t kSummaryBytes = kInformationOffset + kVersionSecondField + kVersionSecondSize;
} // namespace layout

namespace tags {
inline constexpr std::string_view kWeb = "WEB0";
inline constexpr std::string_view kAddOn = "AON0";
inline constexpr std::string_view kBrand = "BRD0";
inline constexpr std::string_view kOcx = "OCX0";
inline constexpr std::string_view kFirmware = "FRM0";
inline constexpr std::string_view kBootloader = "BOT0";
inline constexpr std::string_view kDome = "DOM0";
inline constexpr std::string_view kEmergency = "EMG0";
inline constexpr std::string_view kRaw = "RAW0";
inline constexpr std::string_view kPackage = "PKG0";
inline constexpr std::string_view kCompanyKey = "VID0";

inline constexpr std::string_view kPlain = "PLAN";
inline constexpr std::string_view kEncryptBasic = "ENCR";
inline constexpr std::string_view kEncryptNew = "ENC1";
} // namespace tags

using InformationField = std::array<uint8_t, layout::kInformationSize>;

// Writer results shared by every tagged-file writer.
inline constexpr int kWriteOk = 1;
inline constexpr int kCannotCreateDestination = -2;

// Model tag at field offset 0, the version split over its two slots, the company name (encrypted
// packages only). Longer texts are cut at their slot sizes; callers check the limits first.
InformationField build_information_field(std::string_view model_tag, std::string_view version,
                                         std::string_view company_name = {});

// Reads the version back from its two slots.
std::string read_version(const InformationField& field);

void store_u32_le(uint8_t* destination, uint32_t value);
uint32_t load_u32_le(const uint8_t* source);

// Writes a tagged file whose payload arrives in pieces: header first (with the final payload
// length), then the payload, then finish() appends the MD5 trailer and replaces the destination.
// The digest and the writing each run on a thread of their own while the caller reads the next
// piece; a failed write shows at a later append or at finish().
class TaggedFileWriter {
public:
    // Sees every byte of the file as it is written, trailer included (to encrypt it on the way).
    using Observer = std::function<void(const uint8_t* data, size_t count)>;

    explicit TaggedFileWriter(const std::string& destination, FileAccess access = FileAccess::Default,
                              Observer observer = {});
    ~TaggedFileWriter();
    TaggedFileWriter(const TaggedFileWriter&) = delete;
    TaggedFileWriter& operator=(const TaggedFileWriter&) = delete;

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
int write_tagged_file(const std::string& destination, std::string_view type_tag,
                      std::string_view attribute_tag, const InformationField& information,
                      std::span<const uint8_t> payload, FileAccess access = FileAccess::Default);

// The six strings read back from a tagged file's header, each cut at its first zero byte.
struct HeaderSummary {
    std::string path;
    std::string type_tag;
    std::string attribute_tag;
    std::string model_tag;
    std::string version;
    std::string company_name;
};

// Results of read_header_summary.
inline constexpr int kSummaryRead = 1;
inline constexpr int kSummaryUnreadable = -1;

// Reads the header bytes of `path` (64 bytes, not the whole file); bytes missing from a short file
// read as zero. kSummaryRead, or kSummaryUnreadable when the file cannot be opened or read (the
// summary is then untouched).
int read_header_summary(const std::string& path, HeaderSummary& summary);

// The summary of header bytes already in memory (missing bytes read as zero).
HeaderSummary summarize_header(std::span<const uint8_t> header, const std::string& path);

} // namespace kestrane
