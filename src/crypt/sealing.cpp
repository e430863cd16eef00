#include "crypt/sealing.h"

#include "crypt/sealing_key.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kestrane {
namespace {

template <typename T, void (*Free)(T*)> struct Freer {
    void operator()(T* object) const { Free(object); }
};
using Bignum = std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>>;
using ParamBuilder = std::unique_ptr<OSSL_PARAM_BLD, Freer<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, Freer<OSSL_PARAM, OSSL_PARAM_free>>;
using PublicKey = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;

// The built-in modulus and exponent as an OpenSSL public key; null when that failed.
PublicKey built_in_sealing_key()
{
    const Bignum modulus(BN_bin2bn(kSealingKeyModulus.data(), kSealingKeyModulus.size(), nullptr));
    const Bignum exponent(BN_bin2bn(kSealingKeyExponent.data(), kSealingKeyExponent.size(), nullptr));
    const ParamBuilder builder(OSSL_PARAM_BLD_new());
    if (!modulus || !exponent || !builder
        || OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, modulus.get()) != 1
        || OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, exponent.get()) != 1)
        return nullptr;
    const Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    const KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1
        || EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
        return nullptr;
    return PublicKey(key);
}

// The sealing key, set up afresh for each sealing call: RSA PKCS#1 v1.5 encryption (type 2) in
// public mode, whose padding bytes OpenSSL draws from its CSPRNG (none of them zero).
class SealingContext {
public:
    SealingContext() : m_key(built_in_sealing_key())
    {
        if (m_key)
            m_context.reset(EVP_PKEY_CTX_new_from_pkey(nullptr, m_key.get(), nullptr));
        m_ready = m_context && EVP_PKEY_encrypt_init(m_context.get()) == 1
            && EVP_PKEY_CTX_set_rsa_padding(m_context.get(), RSA_PKCS1_PADDING) == 1;
        if (!m_ready) {
            m_setup_error = ERR_peek_last_error();
            ERR_clear_error();
        }
    }

    bool ready() const { return m_ready; }

    // Seals up to 116 bytes into one 128-byte block: 0, or OpenSSL's (non-zero) error code.
    unsigned long seal_chunk(const uint8_t* chunk, size_t length, uint8_t* block)
    {
        size_t written = sealing::kBlockSize;
        if (m_ready && EVP_PKEY_encrypt(m_context.get(), block, &written, chunk, length) == 1
            && written == sealing::kBlockSize)
            return 0;
        const unsigned long code = m_ready ? ERR_peek_last_error() : m_setup_error;
        ERR_clear_error();
        return code != 0 ? code : ERR_PACK(ERR_LIB_RSA, 0, ERR_R_INTERNAL_ERROR);
    }

private:
    PublicKey m_key;
    KeyContext m_context;
    bool m_ready = false;
    unsigned long m_setup_error = 0;
};

void report_failure(const char* text, unsigned long code)
{
    std::printf(text, static_cast<unsigned>(code));
    std::fflush(stdout);
}

// Seals chunks of 116 bytes up to the sealed limit, then the copied tail or the final partial chunk.
int64_t seal(const uint8_t* source, uint64_t n, uint8_t* destination)
{
    using namespace sealing;
    SealingContext context;
    if (!context.ready())
        return kSealKeySetupFailed;
    const uint64_t full_chunks = std::min<uint64_t>(n / kChunkSize, kChunkLimit);
    for (uint64_t i = 0; i < full_chunks; ++i) {
        if (const unsigned long code = context.seal_chunk(source + i * kChunkSize, kChunkSize, destination + i * kBlockSize)) {
            report_failure("rsa_pkcs1_encrypt failed with error code %x\n", code);
            return kSealChunkFailed;
        }
    }
    const uint64_t consumed = full_chunks * kChunkSize;
    const uint64_t produced = full_chunks * kBlockSize;
    if (full_chunks == kChunkLimit) {
        // Past the sealed limit the rest travels unchanged; no empty block follows.
        std::memcpy(destination + produced, source + consumed, n - consumed);
        return static_cast<int64_t>(produced + n - consumed);
    }
    if (const unsigned long code = context.seal_chunk(source + consumed, n - consumed, destination + produced)) {
        report_failure("rsa_pkcs1_encrypt failed with error code %x\n", code);
        return kSealFinalChunkFailed;
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
    if (const unsigned long code = m_context->sealing.seal_chunk(chunk, length, block)) {
        report_failure("rsa_pkcs1_encrypt failed with error code %x\n", code);
        return false;
    }
    return true;
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
    return seal(source, n, destination);
}

int make_key_block(const CompanyKey& key, uint8_t* destination)
{
    using namespace sealing;
    uint8_t plaintext[kChunkSize];
    std::memcpy(plaintext, key.data(), key.size());
    for (size_t i = key.size(); i < kChunkSize; ++i)
        plaintext[i] = static_cast<uint8_t>(i);

    SealingContext context;
    const unsigned long code = context.seal_chunk(plaintext, sizeof plaintext, destination);
    OPENSSL_cleanse(plaintext, sizeof plaintext);
    if (code != 0) {
        report_failure("rsa_public failed with error code %x\n", code);
        return kKeyBlockFailed;
    }
    return static_cast<int>(kKeyBlockSize);
}

} // namespace kestrane
