#include "crypt/package_opening.h"

#include "common/input_file.h"
#include "common/text_format.h"
#include "crypt/package_encoder.h"
#include "crypt/sealing.h"
#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace kestrane {
namespace {

using Result = VerifyCheck::Result;

struct Checks {
    VerifyCheck layout{"layout", "Layout"};
    VerifyCheck sealed{"sealed_blocks", "Sealed blocks"};
    VerifyCheck key_block{"key_block", "Key block"};
    VerifyCheck tag{"tag", "Tag"};
    VerifyCheck company{"company", "Company"};
    VerifyCheck wrapped{"wrapped_file", "Wrapped file"};
};

void set(VerifyCheck& check, bool passed, std::string detail)
{
    check.result = passed ? Result::Passed : Result::Failed;
    check.detail = std::move(detail);
}

void not_checked(VerifyCheck& check, std::string why)
{
    check.result = Result::NotChecked;
    check.detail = std::move(why);
}

// The key block's plaintext after the key: 08 09 ... 73.
bool key_block_filler_fits(const uint8_t* chunk)
{
    for (size_t i = sizeof(CompanyKey); i < sealing::kChunkSize; ++i)
        if (chunk[i] != i)
            return false;
    return true;
}

// The company key from the key block, when it opens to the layout make_key_block writes.
std::optional<CompanyKey> open_key_block(const PrivateSealingKey& key, const uint8_t* block, VerifyCheck& check)
{
    std::array<uint8_t, sealing::kBlockSize> chunk{};
    const std::optional<size_t> length = key.open_block(block, chunk.data());
    std::optional<CompanyKey> company_key;
    if (!length)
        set(check, false, "does not open with the private key");
    else if (*length != sealing::kChunkSize || !key_block_filler_fits(chunk.data()))
        set(check, false, "opens, but does not hold a company key");
    else {
        company_key.emplace();
        std::memcpy(company_key->data(), chunk.data(), company_key->size());
        set(check, true, "opens to a company key");
    }
    OPENSSL_cleanse(chunk.data(), chunk.size());
    return company_key;
}

// Checks the restored file as it streams past: its length field against its length, its MD5
// trailer against its bytes.
class RestoredFile {
public:
    RestoredFile(uint64_t length, const std::function<bool(const uint8_t*, size_t)>& sink)
        : m_length(length), m_sink(sink)
    {}

    void add(const uint8_t* data, size_t count)
    {
        if (m_sink && m_sinking)
            m_sinking = m_sink(data, count);
        for (size_t i = 0; i < count && m_seen + i < layout::kHeaderSize; ++i) // the length field
            if (m_seen + i >= layout::kLengthOffset)
                m_length_field[m_seen + i - layout::kLengthOffset] = data[i];
        const uint64_t trailer_start = m_length >= layout::kTrailerSize ? m_length - layout::kTrailerSize : 0;
        const uint64_t digested = m_seen < trailer_start ? std::min<uint64_t>(count, trailer_start - m_seen) : 0;
        m_md5.update(data, static_cast<size_t>(digested));
        for (uint64_t i = digested; i < count; ++i) {
            const uint64_t at = m_seen + i - trailer_start;
            if (at < m_trailer.size())
                m_trailer[at] = data[i];
        }
        m_seen += count;
    }

    void judge(VerifyCheck& check)
    {
        if (m_length < layout::kFramingSize) {
            set(check, false, format_text("%llu bytes, shorter than a tagged file", ull(m_length)));
            return;
        }
        const uint64_t payload = load_u32_le(m_length_field.data());
        if (payload + layout::kFramingSize != m_length) {
            set(check, false,
                format_text("%llu bytes, its length field says %llu", ull(m_length),
                            ull(payload + layout::kFramingSize)));
            return;
        }
        const bool matches = m_md5.finish() == m_trailer;
        set(check, matches,
            format_text(matches ? "%llu bytes, MD5 trailer matches" : "%llu bytes, MD5 trailer does not match",
                        ull(m_length)));
    }

    uint64_t payload_length() const { return load_u32_le(m_length_field.data()); }

private:
    static unsigned long long ull(uint64_t value) { return static_cast<unsigned long long>(value); }

    uint64_t m_length;
    const std::function<bool(const uint8_t*, size_t)>& m_sink;
    bool m_sinking = true;
    uint64_t m_seen = 0;
    Md5 m_md5;
    std::array<uint8_t, 4> m_length_field{};
    Md5Digest m_trailer{};
};

// The sealed part of a body: `blocks` blocks at the body's start.
struct SealedShape {
    size_t blocks = 0;
    bool tail = false; // unsealed bytes follow the 9 blocks
};

std::optional<SealedShape> sealed_shape(uint64_t body_length, bool package_file)
{
    using namespace sealing;
    if (package_file)
        return SealedShape{};
    if (body_length > kLimitedOutput)
        return SealedShape{kChunkLimit, true};
    if (body_length == 0 || body_length % kBlockSize != 0)
        return std::nullopt;
    return SealedShape{static_cast<size_t>(body_length / kBlockSize), false};
}

// The chunk length block `index` must open to: full chunks but for the last block of a body
// that is sealed whole, which holds the rest (0 to 115 bytes, or 116 as the ninth).
bool chunk_length_fits(size_t length, size_t index, const SealedShape& shape)
{
    using namespace sealing;
    const bool last = !shape.tail && index + 1 == shape.blocks;
    if (!last)
        return length == kChunkSize;
    return length < kChunkSize || (length == kChunkSize && shape.blocks == kChunkLimit);
}

// Opens the sealed blocks into the body source's first bytes; nothing when one does not open.
std::optional<std::vector<uint8_t>> open_sealed_blocks(const PrivateSealingKey& key, const uint8_t* blocks,
                                                       const SealedShape& shape, VerifyCheck& check)
{
    std::vector<uint8_t> prefix;
    std::array<uint8_t, sealing::kBlockSize> chunk{};
    for (size_t i = 0; i < shape.blocks; ++i) {
        const std::optional<size_t> length = key.open_block(blocks + i * sealing::kBlockSize, chunk.data());
        if (!length || !chunk_length_fits(*length, i, shape)) {
            set(check, false,
                format_text(length ? "block %zu of %zu opens to %zu bytes, not the chunk its place holds"
                                   : "block %zu of %zu does not open with the private key",
                            i + 1, shape.blocks, length.value_or(0)));
            return std::nullopt;
        }
        prefix.insert(prefix.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*length));
    }
    if (shape.blocks == 0)
        set(check, true, "none: a package file's body is carried unsealed");
    else
        set(check, true, format_text("%zu of %zu open", shape.blocks, shape.blocks));
    return prefix;
}

// The header of the wrapped file an "ENCR" body was cut from: the package's, with "PLAN" and
// without the company name the encryption wrote into it.
std::array<uint8_t, layout::kLengthOffset> restored_header(const uint8_t* package_header)
{
    std::array<uint8_t, layout::kLengthOffset> header{};
    std::memcpy(header.data(), package_header, header.size());
    std::memcpy(header.data() + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize);
    std::memset(header.data() + layout::kInformationOffset + layout::kCompanyNameField, 0, layout::kCompanyNameSize);
    return header;
}

void judge_company(VerifyCheck& check, const std::optional<CompanyKey>& key, const HeaderSummary& summary,
                   const OpeningExpectations& expected)
{
    if (!expected.company_key)
        return;
    if (!key)
        not_checked(check, "no company key came out of the key block");
    else if (*key != *expected.company_key)
        set(check, false, "the company key is not the key file's");
    else if (summary.company_name != expected.company_name)
        set(check, false,
            "the package names company[" + summary.company_name + "], the key file[" + expected.company_name + "]");
    else
        set(check, true, "the key file's key and company[" + expected.company_name + "]");
}

class PackageReader {
public:
    PackageReader(InputFile& file, uint64_t offset, uint64_t length) : m_file(file), m_offset(offset), m_length(length)
    {}
    bool read_at(uint64_t position, uint8_t* data, size_t count)
    {
        return position + count <= m_length && m_file.seek(m_offset + position) && m_file.read_exact(data, count);
    }
    bool read_next(uint8_t* data, size_t count) { return m_file.read_exact(data, count); }

private:
    InputFile& m_file;
    uint64_t m_offset;
    uint64_t m_length;
};

std::vector<VerifyCheck> in_order(Checks& c, bool company_expected)
{
    std::vector<VerifyCheck> checks = {c.layout, c.sealed, c.key_block, c.tag};
    if (company_expected)
        checks.push_back(c.company);
    checks.push_back(c.wrapped);
    return checks;
}

void skip_after_layout(Checks& c)
{
    for (VerifyCheck* check : {&c.sealed, &c.key_block, &c.tag, &c.company, &c.wrapped})
        not_checked(*check, "the layout does not fit");
}

} // namespace

bool PackageOpening::passed() const
{
    return std::all_of(checks.begin(), checks.end(), [](const VerifyCheck& check) { return check.passed(); });
}

PackageOpening open_package(InputFile& file, uint64_t offset, uint64_t length, const PrivateSealingKey& key,
                            const OpeningExpectations& expectations)
{
    PackageOpening opening;
    Checks c;
    PackageReader reader(file, offset, length);
    uint8_t header[layout::kHeaderSize] = {};
    const bool header_read = reader.read_at(0, header, sizeof header);
    opening.summary = summarize_header(std::span<const uint8_t>(header, header_read ? sizeof header : 0), {});
    const std::string& attribute = opening.summary.attribute_tag;
    const bool whole = attribute == tags::kEncryptNew;
    const uint64_t body_length = load_u32_le(header + layout::kLengthOffset);
    const bool package_file = opening.summary.type_tag == tags::kPackage;
    const std::optional<SealedShape> shape = sealed_shape(body_length, package_file);

    if (!header_read || (attribute != tags::kEncryptBasic && !whole))
        set(c.layout, false, "not an encrypted package (attribute neither ENCR nor ENC1)");
    else if (body_length + package::kOverhead != length)
        set(c.layout, false,
            format_text("%llu bytes, its body length %u asks for %llu", static_cast<unsigned long long>(length),
                        static_cast<unsigned>(body_length),
                        static_cast<unsigned long long>(body_length + package::kOverhead)));
    else if (!shape)
        set(c.layout, false,
            format_text("body length %u is no whole number of sealed blocks", static_cast<unsigned>(body_length)));
    else
        set(c.layout, true, format_text("%s, body %u bytes", attribute.c_str(), static_cast<unsigned>(body_length)));
    if (!c.layout.passed()) {
        skip_after_layout(c);
        opening.checks = in_order(c, expectations.company_key != nullptr);
        return opening;
    }

    std::array<uint8_t, sealing::kKeyBlockSize> key_block{};
    std::optional<CompanyKey> company_key;
    if (reader.read_at(layout::kHeaderSize + body_length, key_block.data(), key_block.size()))
        company_key = open_key_block(key, key_block.data(), c.key_block);
    else
        set(c.key_block, false, "cannot be read");
    judge_company(c.company, company_key, opening.summary, expectations);
    std::optional<HmacMd5> tag;
    if (company_key)
        tag.emplace(company_key->data(), company_key->size());
    else
        not_checked(c.tag, "no company key came out of the key block");

    // The sealed blocks, then the restored file streams past while the tag takes every byte.
    std::vector<uint8_t> sealed(shape->blocks * sealing::kBlockSize);
    const bool body_start_read =
        reader.read_at(0, header, sizeof header) && reader.read_next(sealed.data(), sealed.size());
    if (tag) {
        tag->update(header, sizeof header);
        tag->update(sealed.data(), sealed.size());
    }
    std::optional<std::vector<uint8_t>> prefix;
    if (body_start_read)
        prefix = open_sealed_blocks(key, sealed.data(), *shape, c.sealed);
    else
        set(c.sealed, false, "cannot be read");
    const uint64_t tail_length = body_length - sealed.size();
    std::optional<RestoredFile> restored;
    if (prefix) {
        const uint64_t restored_length = (whole ? 0 : layout::kLengthOffset) + prefix->size() + tail_length;
        restored.emplace(restored_length, expectations.restored_sink);
        if (!whole)
            restored->add(restored_header(header).data(), layout::kLengthOffset);
        restored->add(prefix->data(), prefix->size());
        OPENSSL_cleanse(prefix->data(), prefix->size());
    } else {
        not_checked(c.wrapped, "a sealed block does not open");
    }

    std::vector<uint8_t> block(std::min<uint64_t>(package::kStreamBlock, std::max<uint64_t>(tail_length, 1)));
    bool tail_read = body_start_read;
    for (uint64_t left = tail_length; tail_read && left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        tail_read = reader.read_next(block.data(), count);
        if (!tail_read)
            break;
        if (tag)
            tag->update(block.data(), count);
        if (restored)
            restored->add(block.data(), count);
        left -= count;
    }
    Tag stored{};
    tail_read = tail_read && reader.read_next(key_block.data(), key_block.size())
        && reader.read_next(stored.data(), stored.size());
    if (restored && tail_read)
        restored->judge(c.wrapped);
    else if (restored)
        set(c.wrapped, false, "the body cannot be read");
    if (tag && tail_read) {
        tag->update(key_block.data(), key_block.size());
        const bool matches = tag->finish() == stored;
        set(c.tag, matches, matches ? "matches the key block's company key" : "does not match");
    } else if (tag) {
        set(c.tag, false, "the package cannot be read");
    }
    if (company_key)
        cleanse_key(*company_key);

    if (package_file && c.wrapped.passed()) {
        // The body is the package file itself ("ENC1") or from its length field on ("ENCR").
        const uint64_t payload_at = offset + layout::kHeaderSize + (whole ? layout::kHeaderSize : 4);
        opening.carried_payload = PackageOpening::Region{payload_at, restored->payload_length()};
    }
    opening.checks = in_order(c, expectations.company_key != nullptr);
    return opening;
}

} // namespace kestrane
