#include "crypt/package_fan_out.h"

#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace kestrane {

struct PackageFanOut::Lane {
    explicit Lane(PackageRecipient taken)
        : recipient(std::move(taken)), tag(recipient.key.data(), recipient.key.size()),
          writer([this](const uint8_t* data, size_t count) { return recipient.sink(data, count); })
    {}
    ~Lane()
    {
        cleanse_key(recipient.key);
        OPENSSL_cleanse(prefix.data(), prefix.size());
    }

    PackageRecipient recipient;
    std::vector<uint8_t> prefix; // the package's first P bytes
    HmacMd5 tag;
    BlockWriter writer;
    // Each touched by its consumer's thread only: whether the placeholder was replaced yet.
    bool tag_started = false;
    bool writer_started = false;
};

namespace {

// A consumer of the package stream that hands on the bytes past the placeholder, after `prefix`
// (when given) in its place.
template <typename Take> void past_placeholder(bool& started, size_t placeholder, const std::vector<uint8_t>* prefix,
                                               const uint8_t* data, size_t count, Take&& take)
{
    if (!started) {
        // The first block holds the whole placeholder: it is smaller than a block.
        started = true;
        if (prefix)
            take(prefix->data(), prefix->size());
        data += placeholder;
        count -= placeholder;
    }
    if (count > 0)
        take(data, count);
}

} // namespace

PackageFanOut::PackageFanOut(std::vector<PackageRecipient> recipients, ModeForType mode_for_type, InputCheck check,
                             IoPolicy& io)
    : m_mode_for_type(std::move(mode_for_type)), m_check(check)
{
    std::vector<BlockPipeline::Consumer> consumers;
    for (PackageRecipient& recipient : recipients) {
        Lane& lane = *m_lanes.emplace_back(std::make_unique<Lane>(std::move(recipient)));
        consumers.emplace_back([this, &lane](const uint8_t* data, size_t count) {
            past_placeholder(lane.tag_started, m_prefix_length, &lane.prefix, data, count,
                             [&lane](const uint8_t* bytes, size_t n) { lane.tag.update(bytes, n); });
        });
        consumers.emplace_back([this, &lane](const uint8_t* data, size_t count) {
            past_placeholder(lane.writer_started, m_prefix_length, &lane.prefix, data, count,
                             [&lane](const uint8_t* bytes, size_t n) { lane.writer(bytes, n); });
        });
    }
    if (m_check == InputCheck::Md5Trailer) {
        consumers.emplace_back([this, started = false](const uint8_t* data, size_t count) mutable {
            past_placeholder(started, m_prefix_length, nullptr, data, count,
                             [this](const uint8_t* bytes, size_t n) { m_trailer.update(bytes, n); });
        });
    }
    m_blocks = std::make_unique<BlockPipeline>(std::move(consumers), BlockPipeline::kDefaultBlockSize,
                                               BlockPipeline::kDefaultBlockCount, io);
}

PackageFanOut::~PackageFanOut()
{
    // What is still queued is not written: the packages are being dropped.
    for (const auto& lane : m_lanes)
        lane->writer.stop();
    m_blocks.reset();
    OPENSSL_cleanse(m_head.data(), m_head.size());
}

std::optional<EncryptMode> PackageFanOut::mode() const
{
    return m_mode;
}

size_t PackageFanOut::head_bytes_wanted() const
{
    return m_streaming || m_refused ? 0 : m_head_wanted - m_head.size();
}

bool PackageFanOut::feed(const uint8_t* data, size_t count)
{
    if (m_refused || lane_failed())
        return false;
    // The header tells how long the head is: a piece may hold the header and more of the head.
    while (!m_streaming && count > 0) {
        if (!take_head(data, count))
            return false;
    }
    return count == 0 || stream(data, count);
}

// Collects the head: the header first, which tells how much more the company prefixes need.
bool PackageFanOut::take_head(const uint8_t*& data, size_t& count)
{
    const size_t take = std::min(count, m_head_wanted - m_head.size());
    m_head.insert(m_head.end(), data, data + take);
    data += take;
    count -= take;
    m_received += take;
    if (m_head.size() == layout::kHeaderSize && !m_mode) {
        const uint8_t* header = m_head.data();
        m_mode = m_mode_for_type(std::string_view(reinterpret_cast<const char*>(header), layout::kTagSize));
        m_expected = layout::kFramingSize + uint64_t{load_u32_le(header + layout::kLengthOffset)};
        const BodySource source = body_source(header, m_expected, *m_mode);
        const bool copy_only = std::memcmp(header, tags::kPackage.data(), layout::kTagSize) == 0;
        const uint64_t sealed = copy_only ? 0 : std::min<uint64_t>(source.length, sealing::kLimitedInput);
        // Past k every package holds the input unchanged; a short body is sealed whole.
        m_shared_from = source.length < sealing::kLimitedInput && !copy_only ? m_expected : source.offset + sealed;
        m_prefix_length = layout::kHeaderSize + static_cast<size_t>(sealed ? seal_data_size(sealed) : 0);
        const uint64_t body_length = copy_only ? source.length : seal_data_size(source.length);
        if (std::memcmp(header + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize) != 0
            || body_length > UINT32_MAX) {
            m_refused = kPackageRefused;
            return false;
        }
        m_head_wanted = static_cast<size_t>(std::max<uint64_t>(layout::kHeaderSize, m_shared_from));
    }
    if (m_mode && m_head.size() == m_head_wanted)
        return start_stream();
    return true;
}

bool PackageFanOut::start_stream()
{
    for (size_t index = 0; index < m_lanes.size(); ++index) {
        if (const int built = build_prefix(*m_lanes[index]); built != 1) {
            m_refused = fail_lane(index, built);
            return false;
        }
    }
    if (m_check == InputCheck::Md5Trailer)
        m_trailer.update(m_head.data(), static_cast<size_t>(std::min<uint64_t>(m_shared_from, m_head.size())));
    m_streaming = true;
    const std::vector<uint8_t> placeholder(m_prefix_length);
    m_blocks->feed(placeholder.data(), placeholder.size());
    // A head longer than k (the header of a package file) goes on in the stream.
    if (m_head.size() > m_shared_from)
        m_blocks->feed(m_head.data() + m_shared_from, m_head.size() - static_cast<size_t>(m_shared_from));
    return true;
}

int PackageFanOut::build_prefix(Lane& lane)
{
    const std::string& company = lane.recipient.company_name;
    if (company.size() > package::kMaxCompanyName)
        return kPackageRefused;
    const uint8_t* header = m_head.data();
    const BodySource source = body_source(header, m_expected, *m_mode);
    const bool copy_only = m_prefix_length == layout::kHeaderSize;
    const uint64_t body_length = copy_only ? source.length : seal_data_size(source.length);

    lane.prefix.assign(m_prefix_length, 0);
    uint8_t* prefix = lane.prefix.data();
    std::memcpy(prefix, header, layout::kHeaderSize);
    std::memcpy(prefix + layout::kAttributeTagOffset, encrypt_mode_tag(*m_mode).data(), layout::kTagSize);
    uint8_t* name = prefix + layout::kInformationOffset + layout::kCompanyNameField;
    std::memset(name, 0, layout::kCompanyNameSize);
    std::memcpy(name, company.data(), company.size());
    store_u32_le(prefix + layout::kLengthOffset, static_cast<uint32_t>(body_length));
    if (copy_only)
        return 1;
    const uint64_t sealed = std::min<uint64_t>(source.length, sealing::kLimitedInput);
    return seal_data(header + source.offset, prefix + layout::kHeaderSize, sealed) < 0 ? kPackageSealingFailed : 1;
}

std::span<uint8_t> PackageFanOut::acquire()
{
    return m_blocks->acquire();
}

bool PackageFanOut::submit(size_t count)
{
    if (m_refused || lane_failed() || count > m_expected - m_received) {
        m_refused = m_refused ? m_refused : kPackageSinkFailed;
        return false;
    }
    m_received += count;
    m_blocks->submit(count);
    return true;
}

bool PackageFanOut::stream(const uint8_t* data, size_t count)
{
    if (count > m_expected - m_received) {
        m_refused = kPackageSinkFailed;
        return false;
    }
    m_received += count;
    m_blocks->feed(data, count);
    return true;
}

bool PackageFanOut::lane_failed()
{
    for (size_t index = 0; index < m_lanes.size(); ++index) {
        if (m_lanes[index]->writer.failed()) {
            m_refused = fail_lane(index, kPackageSinkFailed);
            return true;
        }
    }
    return false;
}

int PackageFanOut::fail_lane(size_t index, int result)
{
    if (!m_failed_recipient)
        m_failed_recipient = index;
    return result;
}

int PackageFanOut::finish()
{
    if (m_refused)
        return m_refused;
    if (!m_streaming || m_received != m_expected) // ended before its head, or short of its length field
        return m_check == InputCheck::Md5Trailer || !m_streaming ? kPackageRefused : kPackageSinkFailed;
    m_blocks->finish();
    if (m_check == InputCheck::Md5Trailer && m_trailer.result() != IntegrityCheck::Passes)
        return kPackageRefused;
    for (size_t index = 0; index < m_lanes.size(); ++index) {
        Lane& lane = *m_lanes[index];
        uint8_t key_block[sealing::kKeyBlockSize];
        if (make_key_block(lane.recipient.key, key_block) < 0)
            return fail_lane(index, kPackageSealingFailed);
        lane.tag.update(key_block, sizeof key_block);
        const Tag tag = lane.tag.finish();
        if (lane.writer.failed() || !lane.recipient.sink(key_block, sizeof key_block)
            || !lane.recipient.sink(tag.data(), tag.size()))
            return fail_lane(index, kPackageSinkFailed);
    }
    return 1;
}

} // namespace kestrane
