#include "crypt/package_encoder.h"

#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

bool trailer_matches(const uint8_t* input, uint64_t n)
{
    const size_t covered = static_cast<size_t>(n) - layout::kTrailerSize;
    const Md5Digest digest = md5_of(input, covered);
    return std::memcmp(digest.data(), input + covered, digest.size()) == 0;
}

int64_t build_in_memory(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name,
                        EncryptMode mode)
{
    if (!is_plain_tagged_file(input, n) || !trailer_matches(input, n))
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

bool is_plain_tagged_file(const uint8_t* header, uint64_t n)
{
    if (n < layout::kFramingSize)
        return false;
    if (std::memcmp(header + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize) != 0)
        return false;
    return load_u32_le(header + layout::kLengthOffset) == n - layout::kFramingSize;
}

BodySource body_source(const uint8_t* header, uint64_t n, EncryptMode mode)
{
    if (mode == EncryptMode::New)
        return {0, n};
    return {layout::kLengthOffset, uint64_t{load_u32_le(header + layout::kLengthOffset)} + 4 + layout::kTrailerSize};
}

int64_t build_package_encr(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name)
{
    return build_in_memory(input, n, output, company_name, EncryptMode::Basic);
}

int64_t build_package_enc1(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name)
{
    return build_in_memory(input, n, output, company_name, EncryptMode::New);
}

PackageEncoder::PackageEncoder(Sink sink)
    : m_sink(std::move(sink)), m_key(company_key()), m_tag(m_key.data(), m_key.size()),
      m_writer([this](const uint8_t* data, size_t count) { return m_sink(data, count); }),
      m_blocks({[this](const uint8_t* data, size_t count) { m_tag.update(data, count); },
                [this](const uint8_t* data, size_t count) { m_writer(data, count); }})
{
}

PackageEncoder::~PackageEncoder()
{
    // What is still queued is not written: the package is being dropped.
    m_writer.stop();
    m_blocks.finish();
    cleanse_key(m_key);
    OPENSSL_cleanse(m_held_back.data(), m_held_back.size());
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
    return m_failed ? kPackageSinkFailed : 1;
}

bool PackageEncoder::emit(const uint8_t* data, size_t count)
{
    m_failed = m_failed || m_writer.failed();
    if (m_failed)
        return false;
    m_blocks.feed(data, count);
    m_written += count;
    return true;
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
    OPENSSL_cleanse(m_held_back.data(), m_held_back.size());
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
        return kPackageSinkFailed;

    uint8_t key_block[sealing::kKeyBlockSize];
    if (make_key_block(key_block) < 0)
        return kPackageSealingFailed;
    emit(key_block, sizeof key_block);
    m_blocks.finish();
    const Tag tag = m_tag.finish();
    if (m_failed || m_writer.failed() || !m_sink(tag.data(), tag.size()))
        return kPackageSinkFailed;
    return static_cast<int64_t>(m_written + tag.size());
}

} // namespace kestrane
