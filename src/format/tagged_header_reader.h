#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestrane {

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
