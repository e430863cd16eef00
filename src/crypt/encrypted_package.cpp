#include "crypt/encrypted_package.h"

#include "common/progress.h"
#include "format/path_rules.h"
#include "format/tagged_file.h"

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

// The file driver's result for an encoder failure.
int encrypt_failure(int64_t encoder_failure)
{
    return encoder_failure == kPackageSinkFailed ? kEncryptFileFailed : kEncryptBuilderFailed;
}

// Feeds `count` bytes of the input, from its current position, to the encoder: kEncryptOk,
// kEncryptFileFailed or kOperationCancelled.
int stream_body(InputFile& input, PackageEncoder& encoder, uint64_t count, Progress& progress)
{
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(count, package::kStreamBlock)));
    while (count > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(count, block.size()));
        if (!input.read_exact(block.data(), want) || !encoder.append(block.data(), want))
            return kEncryptFileFailed;
        count -= want;
        progress.advance(want);
        if (progress.cancelled())
            return kOperationCancelled;
    }
    return kEncryptOk;
}

} // namespace

int encrypt_package(const std::string& input_path, const std::string& output_path,
                    const std::string& company_name, bool use_enc1)
{
    InputFile input;
    if (!input.open(input_path))
        return kEncryptFileFailed;
    const uint64_t n = input.size();
    uint8_t header[layout::kHeaderSize] = {};
    if (input.read_up_to(header, sizeof header) < 0)
        return kEncryptFileFailed;
    if (!is_plain_tagged_file(header, n) || company_name.size() > package::kMaxCompanyName)
        return kEncryptBuilderFailed;

    AtomicOutputFile output(output_path);
    if (!output.open())
        return kEncryptFileFailed;
    const EncryptMode mode = use_enc1 ? EncryptMode::New : EncryptMode::Basic;
    const BodySource source = body_source(header, n, mode);
    PackageEncoder encoder([&output](const uint8_t* data, size_t count) { return output.write(data, count); });
    if (const int begun = encoder.begin(header, mode, company_name, source.length); begun != 1)
        return encrypt_failure(begun);

    // The header is already in memory; the body source continues from there.
    const size_t in_header = layout::kHeaderSize - static_cast<size_t>(source.offset);
    encoder.append(header + source.offset, in_header);
    Progress progress("Encrypting " + last_path_component(input_path), n);
    if (const int streamed = stream_body(input, encoder, source.length - in_header, progress); streamed != kEncryptOk)
        return streamed;
    uint8_t probe;
    if (mode == EncryptMode::New && input.read_some(&probe, 1) != 0)
        return kEncryptFileFailed; // the file grew while it was read
    const int64_t size = encoder.finish();
    if (size < 0)
        return encrypt_failure(size);
    return output.commit() ? kEncryptOk : kEncryptFileFailed;
}

std::string proposed_package_path(const std::string& input_path, const std::string& company_name,
                                  std::string_view type_tag)
{
    return input_path + "-" + company_name + (type_tag == tags::kPackage ? ".pkg" : ".enc");
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
        m_refused = kEncryptFileFailed;
        return;
    }
    m_encoder = std::make_unique<PackageEncoder>(
        [this](const uint8_t* data, size_t count) { return m_output->write(data, count); });
    if (const int begun = m_encoder->begin(header, mode, m_company_name, source.length); begun != 1) {
        m_refused = encrypt_failure(begun);
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
        return kEncryptBuilderFailed; // the file ended before its header
    const int64_t size = m_encoder->finish();
    if (size < 0)
        return encrypt_failure(size);
    return m_output->commit() ? kEncryptOk : kEncryptFileFailed;
}

} // namespace kestrane
