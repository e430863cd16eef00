#include "ui/file_version_reader.h"

#include "common/text_format.h"

#include <QFile>

#include <array>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX // MinGW defines it
#define NOMINMAX
#endif
#include <windows.h>
#endif

#if !defined(KESTRANE_VERSION_MAJOR) || !defined(KESTRANE_VERSION_MINOR) || !defined(KESTRANE_VERSION_PATCH) \
    || !defined(KESTRANE_VERSION_TWEAK)
#error "the build passes the project version as KESTRANE_VERSION_MAJOR ... KESTRANE_VERSION_TWEAK"
#endif

namespace kestrane {
namespace {

constexpr uint32_t kVersionMs = uint32_t{KESTRANE_VERSION_MAJOR} << 16 | (uint32_t{KESTRANE_VERSION_MINOR} & 0xFFFF);
constexpr uint32_t kVersionLs = uint32_t{KESTRANE_VERSION_PATCH} << 16 | (uint32_t{KESTRANE_VERSION_TWEAK} & 0xFFFF);
constexpr uint16_t kLanguageKorean = 0x0412;
constexpr uint16_t kCodePageUnicode = 1200;

constexpr std::array<uint32_t, 13> kProgramFixedRecord = {
    version_block::kSignature,
    0x00010000, // structure version 1.0
    kVersionMs, kVersionLs, // file version
    kVersionMs, kVersionLs, // product version
    0x3F,       // flags mask
    0,          // flags
    0,          // operating system: not one of the listed ones
    1,          // file type: application
    0,          // file subtype
    0, 0,       // file date
};

constexpr size_t entry_size(std::string_view key, size_t value_size)
{
    return 2 + key.size() + 4 + value_size;
}

constexpr size_t kProgramBlockSize = entry_size(version_block::kRootKey, version_block::kFixedRecordSize)
    + entry_size(version_block::kTranslationKey, version_block::kTranslationEntrySize);

constexpr std::array<uint8_t, kProgramBlockSize> make_program_block()
{
    std::array<uint8_t, kProgramBlockSize> block{};
    size_t at = 0;
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            block[at++] = static_cast<uint8_t>(value >> (8 * i));
    };
    auto put_key = [&](std::string_view key, size_t value_size) {
        put(static_cast<uint32_t>(key.size()), 2);
        for (char c : key)
            block[at++] = static_cast<uint8_t>(c);
        put(static_cast<uint32_t>(value_size), 4);
    };
    put_key(version_block::kRootKey, version_block::kFixedRecordSize);
    for (uint32_t value : kProgramFixedRecord)
        put(value, 4);
    put_key(version_block::kTranslationKey, version_block::kTranslationEntrySize);
    put(kLanguageKorean, 2);
    put(kCodePageUnicode, 2);
    return block;
}

constexpr std::array<uint8_t, kProgramBlockSize> kProgramBlock = make_program_block();

uint32_t load_le(const uint8_t* p, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= uint32_t{p[i]} << (8 * i);
    return value;
}

#ifdef _WIN32
void append_entry(std::vector<uint8_t>& block, std::string_view key, const void* value, size_t size)
{
    auto put = [&](uint32_t number, int bytes) {
        for (int i = 0; i < bytes; ++i)
            block.push_back(static_cast<uint8_t>(number >> (8 * i)));
    };
    put(static_cast<uint32_t>(key.size()), 2);
    block.insert(block.end(), key.begin(), key.end());
    put(static_cast<uint32_t>(size), 4);
    const auto* bytes = static_cast<const uint8_t*>(value);
    block.insert(block.end(), bytes, bytes + size);
}

// The fixed record and translation table of the version resource of the running program, read
// with the system's version functions; empty when it has none.
std::vector<uint8_t> read_module_version_block()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    DWORD unused = 0;
    std::vector<uint8_t> info(GetFileVersionInfoSizeW(path.c_str(), &unused));
    if (info.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        return {};
    void* fixed = nullptr;
    void* translation = nullptr;
    UINT fixed_size = 0;
    UINT translation_size = 0;
    if (!VerQueryValueW(info.data(), L"\\", &fixed, &fixed_size)
        || !VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &translation, &translation_size))
        return {};
    std::vector<uint8_t> block;
    append_entry(block, version_block::kRootKey, fixed, fixed_size);
    append_entry(block, version_block::kTranslationKey, translation, translation_size);
    return block;
}
#endif

} // namespace

std::span<const uint8_t> program_version_block()
{
#ifdef _WIN32
    static const std::vector<uint8_t> block = read_module_version_block();
    return block;
#else
    return kProgramBlock;
#endif
}

std::span<const uint8_t> query_version_value(std::span<const uint8_t> block, std::string_view key, bool* found)
{
    if (found)
        *found = false;
    size_t at = 0;
    while (block.size() - at >= 2) {
        const size_t key_size = load_le(block.data() + at, 2);
        at += 2;
        if (block.size() - at < key_size + 4)
            return {};
        const std::string_view entry_key(reinterpret_cast<const char*>(block.data() + at), key_size);
        at += key_size;
        const size_t value_size = load_le(block.data() + at, 4);
        at += 4;
        if (block.size() - at < value_size)
            return {};
        if (entry_key == key) {
            if (found)
                *found = true;
            return block.subspan(at, value_size);
        }
        at += value_size;
    }
    return {};
}

CFileVersionReader::CFileVersionReader()
{
    Reset();
}

CFileVersionReader::~CFileVersionReader()
{
    Reset();
}

void CFileVersionReader::Reset()
{
    m_fixed = FixedVersionRecord{};
    m_block.clear();
    m_block.shrink_to_fit();
    m_translation = nullptr;
    m_translationCount = 0;
    m_valid = false;
}

bool CFileVersionReader::LoadFromModule(std::span<const uint8_t> module_block)
{
    if (module_block.empty())
        return false;
    return LoadFromBlock(module_block);
}

bool CFileVersionReader::LoadFromFile(std::string_view path)
{
    if (path.empty())
        return false;
    Reset();
    QFile file(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= 0 || size > static_cast<qint64>(version_block::kMaxBlockSize))
        return false;
    const QByteArray bytes = file.read(size);
    if (bytes.size() != size)
        return false;
    return LoadFromBlock({reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())});
}

bool CFileVersionReader::LoadFromBlock(std::span<const uint8_t> block)
{
    Reset();
    if (block.empty() || block.size() > version_block::kMaxBlockSize)
        return false;
    m_block.assign(block.begin(), block.end());
    if (!ReadFixedRecord() || !ReadTranslationTable())
        Reset();
    return m_valid;
}

bool CFileVersionReader::ReadFixedRecord()
{
    const auto value = query_version_value(m_block, version_block::kRootKey);
    if (value.size() < version_block::kFixedRecordSize)
        return false;
    std::array<uint32_t, 13> words{};
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = load_le(value.data() + 4 * i, 4);
    m_fixed = FixedVersionRecord{words[0], words[1], words[2],  words[3],  words[4], words[5], words[6],
                                 words[7], words[8], words[9], words[10], words[11], words[12]};
    m_valid = m_fixed.signature == version_block::kSignature;
    return m_valid;
}

bool CFileVersionReader::ReadTranslationTable()
{
    const auto value = query_version_value(m_block, version_block::kTranslationKey);
    m_translationCount = value.size() / version_block::kTranslationEntrySize;
    m_translation = m_translationCount > 0 ? value.data() : nullptr;
    return m_translation != nullptr;
}

uint16_t CFileVersionReader::GetTranslationLanguage(size_t index) const
{
    return index < m_translationCount ? static_cast<uint16_t>(load_le(m_translation + 4 * index, 2)) : 0;
}

uint16_t CFileVersionReader::GetTranslationCodePage(size_t index) const
{
    return index < m_translationCount ? static_cast<uint16_t>(load_le(m_translation + 4 * index + 2, 2)) : 0;
}

QString version_title(const CFileVersionReader& reader)
{
    const uint32_t ms = reader.GetFileVersionMS();
    const uint32_t ls = reader.GetFileVersionLS();
    return QString::fromStdString(format_text("Kestrane(v%d.%d.%d)", static_cast<int>(ms >> 16),
                                              static_cast<int>(ms & 0xFFFF), static_cast<int>(ls >> 16)));
}

QString program_version_title()
{
    CFileVersionReader reader;
    reader.LoadFromModule();
    return version_title(reader);
}

QString program_file_version()
{
    CFileVersionReader reader;
    reader.LoadFromModule();
    const uint32_t ms = reader.GetFileVersionMS();
    const uint32_t ls = reader.GetFileVersionLS();
    return QStringLiteral("%1.%2.%3.%4").arg(ms >> 16).arg(ms & 0xFFFF).arg(ls >> 16).arg(ls & 0xFFFF);
}

} // namespace kestrane
