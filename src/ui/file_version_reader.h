#pragma once

#include <QString>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrane {

// The fixed part of a version record: thirteen little-endian 32-bit values.
struct FixedVersionRecord {
    uint32_t signature = 0; // 0xFEEF04BD when valid
    uint32_t structure_version = 0;
    uint32_t file_version_ms = 0; // major << 16 | minor
    uint32_t file_version_ls = 0; // patch << 16 | build
    uint32_t product_version_ms = 0;
    uint32_t product_version_ls = 0;
    uint32_t flags_mask = 0;
    uint32_t flags = 0;
    uint32_t operating_system = 0;
    uint32_t file_type = 0;
    uint32_t file_subtype = 0;
    uint32_t file_date_ms = 0;
    uint32_t file_date_ls = 0;
};

namespace version_block {
inline constexpr uint32_t kSignature = 0xFEEF04BD;
inline constexpr size_t kFixedRecordSize = 13 * 4; // 52
inline constexpr size_t kTranslationEntrySize = 4; // language (16 bits), code page (16 bits)
inline constexpr size_t kMaxBlockSize = 64 * 1024;
inline constexpr std::string_view kRootKey = "\\";
inline constexpr std::string_view kTranslationKey = "\\VarFileInfo\\Translation";
} // namespace version_block

// A version block is a list of entries, each
//   key length (16 bits) | key | value length (32 bits) | value        (little-endian)
// The fixed record is the value of "\" and the translation table the value of
// "\VarFileInfo\Translation". On Windows the program's block is read from its version resource;
// elsewhere, where programs have no version resources, it carries its own, built from the
// project version.
std::span<const uint8_t> program_version_block();

// The value stored under `key`, or an empty span when the key is absent or the block is cut short.
// `found` tells an empty value from a missing one.
std::span<const uint8_t> query_version_value(std::span<const uint8_t> block, std::string_view key,
                                             bool* found = nullptr);

// Reads the version record of a program. After a failed load every number reads 0.
class CFileVersionReader {
public:
    CFileVersionReader();
    virtual ~CFileVersionReader();
    CFileVersionReader(const CFileVersionReader&) = delete;
    CFileVersionReader& operator=(const CFileVersionReader&) = delete;

    // Back to the empty state: zero record, no block, no translation table, not valid.
    void Reset();

    // The version block of a module: by default the running program's own. An empty block (no
    // module) fails.
    bool LoadFromModule(std::span<const uint8_t> module_block = program_version_block());

    // A file that holds a version block. No path, an empty file, one larger than 64 KiB or one
    // that cannot be read fails.
    bool LoadFromFile(std::string_view path);

    // Loads a block already in memory (copied): valid when the fixed record carries the signature
    // and a translation table with at least one entry is present.
    bool LoadFromBlock(std::span<const uint8_t> block);

    bool IsValid() const { return m_valid; }
    uint32_t GetFileVersionMS() const { return m_fixed.file_version_ms; }
    uint32_t GetFileVersionLS() const { return m_fixed.file_version_ls; }
    uint32_t GetProductVersionMS() const { return m_fixed.product_version_ms; }
    uint32_t GetProductVersionLS() const { return m_fixed.product_version_ls; }
    const FixedVersionRecord& GetFixedRecord() const { return m_fixed; }

    size_t GetTranslationCount() const { return m_translationCount; }
    // Language and code page of one translation entry; 0 for an index out of range.
    uint16_t GetTranslationLanguage(size_t index) const;
    uint16_t GetTranslationCodePage(size_t index) const;

private:
    bool ReadFixedRecord();
    bool ReadTranslationTable();

    FixedVersionRecord m_fixed;
    std::vector<uint8_t> m_block;
    const uint8_t* m_translation = nullptr; // inside m_block
    size_t m_translationCount = 0;
    bool m_valid = false;
};

// The main window's title: "Kestrane(v%d.%d.%d)" with the first three parts of the file version
// (the fourth is not shown); three zeros when the reader holds no valid record.
QString version_title(const CFileVersionReader& reader);

// The title for the running program's own record.
QString program_version_title();

// The running program's file version, all four parts: "1.2.3.0".
QString program_file_version();

} // namespace kestrane
