#include "crypt/encrypted_package.h"

#include "common/file_io.h"
#include "common/progress.h"
#include "format/path_rules.h"
#include "format/tagged_file.h"

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

constexpr size_t kStreamBlock = 1 << 20;

// Where the body source starts in the input and how long it is.
struct BodySource {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// True when the header describes a plain tagged file whose payload fits in n bytes.
bool plain_tagged_file(const uint8_t* header, uint64_t n)
{
    if (n < layout::kFramingSize)
        return false;
    if (std::memcmp(header + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize) != 0)
        return false;
    return load_u32_le(header + layout::kLengthOffset) <= n - layout::kFramingSize;
}

BodySource body_source(const uint8_t* header, uint64_t n, EncryptMode mode)
{
    if (mode == EncryptMode::New)
        return {0, n};
    return {layout::kLengthOffset, uint64_t{load_u32_le(header + layout::kLengthOffset)} + 4 + layout::kTrailerSize};
}

int64_t build_in_memory(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name,
                        EncryptMode mode)
{
    if (!plain_tagged_file(input, n))
        return kPackageRefused;
    uint8_t* cursor = output;
    PackageEncoder encoder([&cursor](const uint8_t* data, size_t count) {
        std::memcpy(cursor, data, count);
        cursor += count;
        return true;
    });
    const BodySource source = body_source(input, n, mode);
    if (encoder.begin(input, mode, company_name, source.length) != 1)
        return kPackageRefused;
    encoder.append(input + source.offset, source.length);
    const int64_t size = encoder.finish();
    return size < 0 ? kPackageSealingFailed : size;
}

} // namespace

std::string_view encrypt_mode_tag(EncryptMode mode)
{
    return mode == EncryptMode::New ? tags::kEncryptNew : tags::kEncryptBasic;
}

PackageEncoder::PackageEncoder(Sink sink)
    : m_sink(std::move(sink)), m_key(company_key()), m_tag(m_key.data(), m_key.size()),
      m_tagging({[this](const uint8_t* data, size_t count) { m_tag.update(data, count); }})
{
}

int PackageEncoder::begin(const uint8_t* input_header, EncryptMode mode, const std::string& company_name,
                          uint64_t body_source_length)
{
    if (std::memcmp(input_header + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize) != 0
        || company_name.size() > package::kMaxCompanyName)
        return kPackageRefused;
    m_copy_only = std::memcmp(input_header, tags::kPackage.data(), layout::kTagSize) == 0;
    const uint64_t body_length = m_copy_only ? body_source_length : seal_data_size(body_source_length);
    if (body_length > UINT32_MAX)
        return kPackageRefused;
    m_body_source_length = body_source_length;
    m_sealed_prefix_length = static_cast<size_t>(std::min<uint64_t>(body_source_length, sealing::kLimitedInput));

    uint8_t header[layout::kHeaderSize];
    std::memcpy(header, input_header, layout::kHeaderSize);
    std::memcpy(header + layout::kAttributeTagOffset, encrypt_mode_tag(mode).data(), layout::kTagSize);
    uint8_t* company = header + layout::kInformationOffset + layout::kCompanyNameField;
    std::memset(company, 0, layout::kCompanyNameSize);
    std::memcpy(company, company_name.data(), company_name.size());
    store_u32_le(header + layout::kLengthOffset, static_cast<uint32_t>(body_length));
    emit(header, sizeof header);
    return m_failed ? -3 : 1;
}

bool PackageEncoder::emit(const uint8_t* data, size_t count)
{
    if (m_failed)
        return false;
    m_tagging.feed(data, count);
    m_written += count;
    m_failed = !m_sink(data, count);
    return !m_failed;
}

bool PackageEncoder::append(const uint8_t* data, size_t count)
{
    if (m_failed || count > m_body_source_length - m_body_received) {
        m_failed = true;
        return false;
    }
    m_body_received += count;
    if (!m_copy_only && !m_prefix_sealed) {
        const size_t take = std::min(count, m_sealed_prefix_length - m_held_back.size());
        m_held_back.insert(m_held_back.end(), data, data + take);
        data += take;
        count -= take;
        if (m_held_back.size() == m_sealed_prefix_length && !seal_held_back())
            return false;
    }
    return count == 0 || emit(data, count);
}

bool PackageEncoder::seal_held_back()
{
    std::vector<uint8_t> sealed(seal_data_size(m_held_back.size()));
    const int64_t produced = seal_data(m_held_back.data(), sealed.data(), m_held_back.size());
    std::fill(m_held_back.begin(), m_held_back.end(), uint8_t{0});
    m_prefix_sealed = true;
    if (produced < 0) {
        m_sealing_failed = m_failed = true;
        return false;
    }
    return emit(sealed.data(), static_cast<size_t>(produced));
}

int64_t PackageEncoder::finish()
{
    if (!m_copy_only && !m_prefix_sealed && m_held_back.size() == m_sealed_prefix_length)
        seal_held_back();
    if (m_sealing_failed)
        return kPackageSealingFailed;
    if (m_failed || m_body_received != m_body_source_length)
        return -3;

    uint8_t key_block[sealing::kKeyBlockSize];
    if (make_key_block(key_block) < 0)
        return kPackageSealingFailed;
    emit(key_block, sizeof key_block);
    m_tagging.finish();
    const Tag tag = m_tag.finish();
    if (m_failed || !m_sink(tag.data(), tag.size()))
        return -3;
    return static_cast<int64_t>(m_written + tag.size());
}

int64_t build_package_encr(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name)
{
    return build_in_memory(input, n, output, company_name, EncryptMode::Basic);
}

int64_t build_package_enc1(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name)
{
    return build_in_memory(input, n, output, company_name, EncryptMode::New);
}

namespace {

// Feeds `count` bytes of the input, from its current position, to the encoder.
bool stream_body(InputFile& input, PackageEncoder& encoder, uint64_t count, Progress& progress)
{
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(count, kStreamBlock)));
    while (count > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(count, block.size()));
        if (!input.read_exact(block.data(), want) || !encoder.append(block.data(), want))
            return false;
        count -= want;
        progress.advance(want);
    }
    return true;
}

} // namespace

int encrypt_package(const std::string& input_path, const std::string& output_path,
                    const std::string& company_name, bool use_enc1)
{
    InputFile input;
    if (!input.open(input_path))
        return -2;
    const uint64_t n = input.size();
    uint8_t header[layout::kHeaderSize] = {};
    if (input.read_up_to(header, sizeof header) < 0)
        return -2;
    if (!plain_tagged_file(header, n) || company_name.size() > package::kMaxCompanyName)
        return kPackageRefused;

    AtomicOutputFile output(output_path);
    if (!output.open())
        return -2;
    const EncryptMode mode = use_enc1 ? EncryptMode::New : EncryptMode::Basic;
    const BodySource source = body_source(header, n, mode);
    PackageEncoder encoder([&output](const uint8_t* data, size_t count) { return output.write(data, count); });
    if (const int begun = encoder.begin(header, mode, company_name, source.length); begun != 1)
        return begun == kPackageRefused ? kPackageRefused : -2;

    // The header is already in memory; the body source continues from there.
    const size_t in_header = layout::kHeaderSize - static_cast<size_t>(source.offset);
    encoder.append(header + source.offset, in_header);
    Progress progress("Encrypting " + last_path_component(input_path), n);
    if (!stream_body(input, encoder, source.length - in_header, progress))
        return -2;
    uint8_t probe;
    if (mode == EncryptMode::New && input.read_some(&probe, 1) != 0)
        return -2; // the file grew while it was read
    const int64_t size = encoder.finish();
    if (size == kPackageSealingFailed)
        return kPackageRefused;
    if (size < 0 || !output.commit())
        return -2;
    return 1;
}

std::string proposed_package_path(const std::string& input_path, const std::string& company_name,
                                  std::string_view type_tag)
{
    return input_path + "-" + company_name + (type_tag == tags::kPackage ? ".pkg" : ".enc");
}

std::optional<uint32_t> package_body_length(const std::string& path)
{
    InputFile file;
    uint8_t header[layout::kHeaderSize];
    if (!file.open(path) || !file.read_exact(header, sizeof header))
        return std::nullopt;
    const uint32_t body = load_u32_le(header + layout::kLengthOffset);
    if (file.size() != uint64_t{body} + package::kOverhead)
        return std::nullopt;
    return body;
}

IntegrityCheck check_package_tag(const std::string& path, const CompanyKey& key)
{
    InputFile file;
    if (!file.open(path))
        return IntegrityCheck::Unreadable;
    if (file.size() < package::kOverhead)
        return IntegrityCheck::Truncated;
    HmacMd5 tag(key.data(), key.size());
    std::vector<uint8_t> block(kStreamBlock);
    for (uint64_t left = file.size() - sealing::kTagSize; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        if (!file.read_exact(block.data(), count))
            return IntegrityCheck::Unreadable;
        tag.update(block.data(), count);
        left -= count;
    }
    Tag stored{};
    if (!file.read_exact(stored.data(), stored.size()))
        return IntegrityCheck::Unreadable;
    return tag.finish() == stored ? IntegrityCheck::Passes : IntegrityCheck::Fails;
}

PackageFollower::PackageFollower(std::string output_path, std::string company_name, ModeForType mode_for_type)
    : m_output_path(std::move(output_path)), m_company_name(std::move(company_name)),
      m_mode_for_type(std::move(mode_for_type))
{
}

PackageFollower::~PackageFollower() = default;

void PackageFollower::observe(const uint8_t* data, size_t count)
{
    if (m_refused)
        return;
    if (m_header.size() < layout::kHeaderSize) {
        const size_t take = std::min(count, layout::kHeaderSize - m_header.size());
        m_header.insert(m_header.end(), data, data + take);
        data += take;
        count -= take;
        if (m_header.size() < layout::kHeaderSize)
            return;
        begin();
        if (m_refused)
            return;
    }
    if (count > 0)
        m_encoder->append(data, count);
}

void PackageFollower::begin()
{
    const uint8_t* header = m_header.data();
    const uint64_t file_size = layout::kFramingSize + uint64_t{load_u32_le(header + layout::kLengthOffset)};
    const EncryptMode mode = m_mode_for_type(std::string_view(reinterpret_cast<const char*>(header), layout::kTagSize));
    const BodySource source = body_source(header, file_size, mode);

    m_output = std::make_unique<AtomicOutputFile>(m_output_path);
    if (!m_output->open()) {
        m_refused = -2;
        return;
    }
    m_encoder = std::make_unique<PackageEncoder>(
        [this](const uint8_t* data, size_t count) { return m_output->write(data, count); });
    if (const int begun = m_encoder->begin(header, mode, m_company_name, source.length); begun != 1) {
        m_refused = begun == kPackageRefused ? kPackageRefused : -2;
        return;
    }
    // The header is in hand; the body source may start inside it.
    m_encoder->append(header + source.offset, layout::kHeaderSize - static_cast<size_t>(source.offset));
}

int PackageFollower::finish()
{
    if (m_refused)
        return m_refused;
    if (!m_encoder)
        return kPackageRefused; // the file ended before its header
    const int64_t size = m_encoder->finish();
    if (size == kPackageSealingFailed)
        return kPackageRefused;
    if (size < 0 || !m_output->commit())
        return -2;
    return 1;
}

} // namespace kestrane
