#include "crypt/private_sealing_key.h"

#include "common/paths.h"
#include "common/text_format.h"
#include "crypt/sealing.h"
#include "crypt/sealing_key.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstring>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kestrane {
namespace {

constexpr const char* kImplicitRejection = "implicit-rejection";

// A PEM key file is a few KiB at most; anything much larger is not one.
constexpr qint64 kMaxKeyFileSize = 64 * 1024;

// Bytes that held key material: cleansed when they go.
struct SecretBytes {
    std::vector<uint8_t> bytes;
    ~SecretBytes() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
};

struct PassphraseRequest {
    const PassphraseSource* source = nullptr;
    bool asked = false;
    bool given = false;
};

// OpenSSL's pem_password_cb: called only for an encrypted PEM.
int supply_passphrase(char* buffer, int size, int /*rwflag*/, void* user)
{
    auto* request = static_cast<PassphraseRequest*>(user);
    request->asked = true;
    std::optional<std::string> passphrase = *request->source ? (*request->source)() : std::nullopt;
    if (!passphrase)
        return -1;
    request->given = true;
    const int length = static_cast<int>(std::min<size_t>(passphrase->size(), static_cast<size_t>(size)));
    std::memcpy(buffer, passphrase->data(), static_cast<size_t>(length));
    OPENSSL_cleanse(passphrase->data(), passphrase->size());
    return length;
}

#ifndef _WIN32
bool open_to_others(int descriptor, unsigned* mode)
{
    struct stat status {};
    if (fstat(descriptor, &status) != 0)
        return true;
    if (mode)
        *mode = status.st_mode & 07777;
    return (status.st_mode & 077) != 0;
}
#endif

// SHA-256 of the public half's DER SubjectPublicKeyInfo.
std::string public_key_fingerprint(EVP_PKEY* key)
{
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0)
        return {};
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned digest_length = 0;
    const bool hashed =
        EVP_Digest(der, static_cast<size_t>(length), digest, &digest_length, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    return hashed ? hex_of(digest, digest_length) : std::string();
}

} // namespace

PrivateSealingKey::Load PrivateSealingKey::load(const std::string& path, const PassphraseSource& passphrase,
                                                std::unique_ptr<PrivateSealingKey>& key, unsigned* mode)
{
    if (!is_regular_file(path))
        return Load::CannotRead;
    QFile file(to_qpath(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Load::CannotRead;
#ifndef _WIN32
    if (open_to_others(file.handle(), mode))
        return Load::OpenToOthers;
#else
    (void)mode;
#endif
    SecretBytes pem;
    pem.bytes.resize(static_cast<size_t>(kMaxKeyFileSize));
    const qint64 count = file.read(reinterpret_cast<char*>(pem.bytes.data()), kMaxKeyFileSize);
    if (count < 0)
        return Load::CannotRead;

    BIO* bio = BIO_new_mem_buf(pem.bytes.data(), static_cast<int>(count));
    PassphraseRequest request{&passphrase};
    EVP_PKEY* loaded = bio ? PEM_read_bio_PrivateKey(bio, nullptr, supply_passphrase, &request) : nullptr;
    BIO_free(bio);
    ERR_clear_error();
    if (!loaded) {
        if (request.asked)
            return request.given ? Load::WrongPassphrase : Load::NeedsPassphrase;
        return Load::NotAKey;
    }
    if (EVP_PKEY_get_base_id(loaded) != EVP_PKEY_RSA || EVP_PKEY_get_bits(loaded) != 1024) {
        EVP_PKEY_free(loaded);
        return Load::NotRsa1024;
    }
    key.reset(new PrivateSealingKey(loaded));
    return key->m_context ? Load::Loaded : Load::NotStrict;
}

PrivateSealingKey::PrivateSealingKey(EVP_PKEY* key) : m_key(key), m_fingerprint(public_key_fingerprint(key))
{
    // PKCS#1 v1.5 decryption, strictly: OpenSSL 3.2 and later (and some distributions' 3.0) answer
    // a block that does not unpad with a synthetic message unless implicit rejection is off. The
    // parameter ("implicit-rejection", OSSL_ASYM_CIPHER_PARAM_IMPLICIT_REJECTION) is named as text
    // so that this builds against an OpenSSL without it, which never rejects implicitly and ignores
    // it. Since unknown parameters are ignored silently, it is read back: a provider that still
    // reports it on leaves the key unusable rather than open blocks by guessing.
    unsigned implicit_rejection = 0;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_uint(kImplicitRejection, &implicit_rejection),
        OSSL_PARAM_construct_end(),
    };
    unsigned reported = 0;
    OSSL_PARAM query[] = {
        OSSL_PARAM_construct_uint(kImplicitRejection, &reported),
        OSSL_PARAM_construct_end(),
    };
    m_context = EVP_PKEY_CTX_new_from_pkey(nullptr, m_key, nullptr);
    if (!m_context || EVP_PKEY_decrypt_init(m_context) != 1
        || EVP_PKEY_CTX_set_rsa_padding(m_context, RSA_PKCS1_PADDING) != 1
        || EVP_PKEY_CTX_set_params(m_context, params) != 1 || EVP_PKEY_CTX_get_params(m_context, query) != 1
        || reported != 0) {
        EVP_PKEY_CTX_free(m_context);
        m_context = nullptr;
    }
    ERR_clear_error();
}

PrivateSealingKey::~PrivateSealingKey()
{
    EVP_PKEY_CTX_free(m_context);
    EVP_PKEY_free(m_key); // cleanses the private numbers
}

bool PrivateSealingKey::matches_built_in_key() const
{
    return !m_fingerprint.empty() && m_fingerprint == sealing_key_fingerprint();
}

std::optional<size_t> PrivateSealingKey::open_block(const uint8_t* block, uint8_t* chunk) const
{
    size_t length = sealing::kBlockSize;
    const bool opened = EVP_PKEY_decrypt(m_context, chunk, &length, block, sealing::kBlockSize) == 1;
    ERR_clear_error();
    if (!opened || length > sealing::kBlockSize - 11)
        return std::nullopt;
    return length;
}

} // namespace kestrane
