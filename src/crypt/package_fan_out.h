#pragma once

#include "common/block_pipeline.h"
#include "common/non_copyable.h"
#include "crypt/package_encoder.h"
#include "format/integrity.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// One company's package in a PackageFanOut: its name and key (a value of its own, so that packages
// for several companies can be made at once) and where its bytes go, in file order.
struct PackageRecipient {
    std::string company_name;
    CompanyKey key{};
    std::function<bool(const uint8_t* data, size_t count)> sink;
};

// Encrypts one plain tagged file for several companies while the file's bytes go by once.
//
// The packages differ only in their first P bytes (header with the company name, sealed start of
// the body) and in their last 144 (key block, tag); everything between is the input from offset k
// on, at the same package offset in every package. So the input is fed once into one block
// pipeline laid out as a package (P placeholder bytes, then input bytes from k on), and each
// company has two consumers of it, each on a thread of its own: its tag (HMAC-MD5 under its key)
// and its writer, which both put the company's own first P bytes in place of the placeholder.
// Memory stays at the pipeline's blocks whatever the number of companies and the input's size.
// Optionally a further consumer checks the input's length field and MD5 trailer on the way.
class PackageFanOut : NonCopyable {
public:
    using ModeForType = std::function<EncryptMode(std::string_view type_tag)>;
    enum class InputCheck {
        Md5Trailer, // the input must hold together: exactly 156 + L bytes, its MD5 trailer matching
        Trusted,    // the input is being written by this process, which computes its trailer itself
    };

    // Throws what BlockPipeline throws (std::bad_alloc, std::system_error).
    PackageFanOut(std::vector<PackageRecipient> recipients, ModeForType mode_for_type, InputCheck check,
                  IoPolicy& io = system_io());
    ~PackageFanOut();

    // Input bytes in file order (copied). False once the input is refused, more bytes arrive than
    // its length field announces, or a package could not be written.
    bool feed(const uint8_t* data, size_t count);
    // How many more bytes the fan-out wants through feed() before acquire() may be used.
    size_t head_bytes_wanted() const;
    // Without a copy, once head_bytes_wanted() is 0: a buffer for the next input bytes, then
    // submit() with the count put in.
    std::span<uint8_t> acquire();
    bool submit(size_t count);
    // The encrypt mode, once the header went by.
    std::optional<EncryptMode> mode() const;

    // After the last input byte: writes key blocks and tags. 1; kPackageRefused (not a plain tagged
    // file, a company name over 16 bytes, an input that does not hold together); kPackageSealingFailed;
    // kPackageSinkFailed (a sink failed, or the input ended short of its length field).
    int finish();
    // The recipient whose package failed, after a failure that was one company's own.
    std::optional<size_t> failed_recipient() const { return m_failed_recipient; }

private:
    struct Lane;
    bool take_head(const uint8_t*& data, size_t& count);
    bool start_stream();
    int build_prefix(Lane& lane);
    bool stream(const uint8_t* data, size_t count);
    bool lane_failed();
    int fail_lane(size_t index, int result);

    std::vector<std::unique_ptr<Lane>> m_lanes;
    ModeForType m_mode_for_type;
    InputCheck m_check;
    Md5TrailerCheck m_trailer;   // fed the head here, the rest on its pipeline thread
    std::vector<uint8_t> m_head; // the input's first bytes, until the stream starts
    std::optional<EncryptMode> m_mode;
    size_t m_head_wanted = 140; // bytes the head must hold: the header, or up to k
    size_t m_prefix_length = 0; // P
    uint64_t m_shared_from = 0; // k
    uint64_t m_expected = 0;    // 156 + L
    uint64_t m_received = 0;
    bool m_streaming = false;
    int m_refused = 0;
    std::optional<size_t> m_failed_recipient;
    std::unique_ptr<BlockPipeline> m_blocks; // last: stops before the lanes go
};

} // namespace kestrane
