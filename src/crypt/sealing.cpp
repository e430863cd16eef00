#include "crypt/sealing.h"

#include "crypt/sealing_key.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/platform_util.h>
#include <mbedtls/rsa.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace kestrane {
namespace {

// The padding source (and the source of generated company keys): CTR-DRBG seeded once per process
// from the system's entropy.
class PaddingGenerator {
public:
    static int generate(void* self, unsigned char* output, size_t length)
    {
        return static_cast<PaddingGenerator*>(self)->fill(output, length);
    }

    static PaddingGenerator& instance()
    {
        static PaddingGenerator generator;
        return generator;
    }

private:
    PaddingGenerator()
    {
        mbedtls_entropy_init(&m_entropy);
        mbedtls_ctr_drbg_init(&m_drbg);
        static const unsigned char personalisation[] = "kestrane sealing padding";
        m_seeded = mbedtls_ctr_drbg_seed(&m_drbg, mbedtls_entropy_func, &m_entropy, personalisation,
                                         sizeof personalisation - 1) == 0;
    }

    int fill(unsigned char* output, size_t length)
    {
        std::lock_guard lock(m_mutex);
        if (!m_seeded)
            return MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
        return mbedtls_ctr_drbg_random(&m_drbg, output, length);
    }

    std::mutex m_mutex;
    mbedtls_entropy_context m_entropy;
    mbedtls_ctr_drbg_context m_drbg;
    bool m_seeded = false;
};

// The sealing key, set up afresh for each sealing call.
class SealingContext {
public:
    SealingContext()
    {
        mbedtls_rsa_init(&m_rsa, MBEDTLS_RSA_PKCS_V15, 0);
        m_ready = mbedtls_rsa_import_raw(&m_rsa, kSealingKeyModulus.data(), kSealingKeyModulus.size(),
                                         nullptr, 0, nullptr, 0, nullptr, 0, kSealingKeyExponent.data(),
                                         kSealingKeyExponent.size()) == 0
            && mbedtls_rsa_complete(&m_rsa) == 0 && mbedtls_rsa_check_pubkey(&m_rsa) == 0;
    }
    ~SealingContext() { mbedtls_rsa_free(&m_rsa); }
    SealingContext(const SealingContext&) = delete;
    SealingContext& operator=(const SealingContext&) = delete;

    bool ready() const { return m_ready; }

    // PKCS#1 v1.5 type 2 of up to 116 bytes into one 128-byte block; mbed TLS's code on failure.
    int seal_chunk(const uint8_t* chunk, size_t length, uint8_t* block)
    {
        return mbedtls_rsa_pkcs1_encrypt(&m_rsa, &PaddingGenerator::generate, &PaddingGenerator::instance(),
                                         MBEDTLS_RSA_PUBLIC, length, chunk, block);
    }

private:
    mbedtls_rsa_context m_rsa;
    bool m_ready = false;
};

void report_failure(const char* text, int code)
{
    std::printf(text, static_cast<unsigned>(-code));
    std::fflush(stdout);
}

// Seals `full_chunks` chunks of 116 bytes, then the copied tail or the final partial chunk.
int64_t seal(const uint8_t* source, uint64_t n, uint8_t* destination, uint64_t full_chunks_allowed)
{
    using namespace sealing;
    SealingContext context;
    if (!context.ready())
        return -3;
    const uint64_t full_chunks = std::min<uint64_t>(n / kChunkSize, full_chunks_allowed);
    for (uint64_t i = 0; i < full_chunks; ++i) {
        if (const int code = context.seal_chunk(source + i * kChunkSize, kChunkSize, destination + i * kBlockSize)) {
            report_failure("rsa_pkcs1_encrypt failed with error code %x\n", code);
            return -1;
        }
    }
    const uint64_t consumed = full_chunks * kChunkSize;
    const uint64_t produced = full_chunks * kBlockSize;
    if (full_chunks == full_chunks_allowed) {
        // Past the sealed limit the rest travels unchanged; no empty block follows.
        std::memcpy(destination + produced, source + consumed, n - consumed);
        return static_cast<int64_t>(produced + n - consumed);
    }
    if (const int code = context.seal_chunk(source + consumed, n - consumed, destination + produced)) {
        report_failure("rsa_pkcs1_encrypt failed with error code %x\n", code);
        return -2;
    }
    return static_cast<int64_t>(produced + kBlockSize);
}

} // namespace

struct ChunkSealer::Context {
    SealingContext sealing;
};

ChunkSealer::ChunkSealer() : m_context(std::make_unique<Context>()) {}

ChunkSealer::~ChunkSealer() = default;

bool ChunkSealer::ready() const
{
    return m_context->sealing.ready();
}

bool ChunkSealer::seal(const uint8_t* chunk, size_t length, uint8_t* block)
{
    if (length > sealing::kChunkSize || !ready())
        return false;
    if (const int code = m_context->sealing.seal_chunk(chunk, length, block)) {
        report_failure("rsa_pkcs1_encrypt failed with error code %x\n", code);
        return false;
    }
    return true;
}

namespace {

// The company key slot, with its built-in default until a company key is set.
std::mutex g_slot_mutex;
CompanyKey g_company_key = {0x4B, 0x45, 0x53, 0x54, 0x52, 0x41, 0x4E, 0x45};

} // namespace

bool secure_random_bytes(uint8_t* destination, size_t count)
{
    return PaddingGenerator::generate(&PaddingGenerator::instance(), destination, count) == 0;
}

uint64_t seal_data_size(uint64_t n)
{
    using namespace sealing;
    return n >= kLimitedInput ? n + (kLimitedOutput - kLimitedInput) : kBlockSize * (n / kChunkSize + 1);
}

uint64_t seal_all_size(uint64_t n)
{
    return sealing::kBlockSize * (n / sealing::kChunkSize + 1);
}

int64_t seal_data(const uint8_t* source, uint8_t* destination, uint64_t n)
{
    return seal(source, n, destination, sealing::kChunkLimit);
}

int64_t seal_all(const uint8_t* source, uint64_t n, uint8_t* destination)
{
    return seal(source, n, destination, UINT64_MAX);
}

int make_key_block(uint8_t* destination)
{
    using namespace sealing;
    uint8_t plaintext[kChunkSize];
    const CompanyKey key = company_key();
    std::memcpy(plaintext, key.data(), key.size());
    for (size_t i = key.size(); i < kChunkSize; ++i)
        plaintext[i] = static_cast<uint8_t>(i);

    SealingContext context;
    const int code = context.ready() ? context.seal_chunk(plaintext, sizeof plaintext, destination)
                                     : MBEDTLS_ERR_RSA_BAD_INPUT_DATA;
    std::memset(plaintext, 0, sizeof plaintext);
    if (code != 0) {
        report_failure("rsa_public failed with error code %x\n", code);
        return -1;
    }
    return static_cast<int>(kKeyBlockSize);
}

HmacMd5::HmacMd5(const uint8_t* key, size_t key_length)
{
    // A key longer than a block is replaced by its digest; a shorter one is zero-filled.
    std::array<uint8_t, Md5::kBlockSize> block{};
    if (key_length > block.size()) {
        const Md5Digest digest = md5_of(key, key_length);
        std::memcpy(block.data(), digest.data(), digest.size());
    } else if (key_length > 0) {
        std::memcpy(block.data(), key, key_length);
    }
    std::array<uint8_t, Md5::kBlockSize> inner_pad;
    for (size_t i = 0; i < block.size(); ++i) {
        inner_pad[i] = block[i] ^ 0x36;
        m_outer_pad[i] = block[i] ^ 0x5c;
    }
    m_inner.update(inner_pad.data(), inner_pad.size());
    mbedtls_platform_zeroize(block.data(), block.size());
    mbedtls_platform_zeroize(inner_pad.data(), inner_pad.size());
}

HmacMd5::~HmacMd5()
{
    mbedtls_platform_zeroize(m_outer_pad.data(), m_outer_pad.size());
}

void HmacMd5::update(const void* data, size_t count)
{
    m_inner.update(data, count);
}

Tag HmacMd5::finish()
{
    const Md5Digest inner = m_inner.finish();
    Md5 outer;
    outer.update(m_outer_pad.data(), m_outer_pad.size());
    outer.update(inner.data(), inner.size());
    const Md5Digest digest = outer.finish();
    Tag tag;
    std::memcpy(tag.data(), digest.data(), tag.size());
    return tag;
}

void hmac_md5(const uint8_t* key, size_t key_length, const uint8_t* data, size_t length, uint8_t* tag)
{
    HmacMd5 hmac(key, key_length);
    hmac.update(data, length);
    const Tag result = hmac.finish();
    std::memcpy(tag, result.data(), result.size());
}

void set_company_key(uint8_t k0, uint8_t k1, uint8_t k2, uint8_t k3, uint8_t k4, uint8_t k5,
                     uint8_t k6, uint8_t k7)
{
    set_company_key(CompanyKey{k0, k1, k2, k3, k4, k5, k6, k7});
}

void set_company_key(const CompanyKey& key)
{
    std::lock_guard lock(g_slot_mutex);
    g_company_key = key;
}

CompanyKey company_key()
{
    std::lock_guard lock(g_slot_mutex);
    return g_company_key;
}

} // namespace kestrane
