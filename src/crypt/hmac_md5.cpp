#include "crypt/hmac_md5.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace kestrane {
namespace {

EVP_MAC* hmac_algorithm()
{
    static EVP_MAC* const algorithm = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    return algorithm;
}

} // namespace

HmacMd5::HmacMd5(const uint8_t* key, size_t key_length)
{
    if (!hmac_algorithm())
        throw std::runtime_error("OpenSSL offers no HMAC");
    m_context = EVP_MAC_CTX_new(hmac_algorithm());
    if (!m_context)
        throw std::bad_alloc();
    char digest[] = "MD5";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    // A null key would mean "the key set before"; an empty one is zero-filled like any short key.
    static const uint8_t kNoKey = 0;
    if (EVP_MAC_init(m_context, key_length > 0 ? key : &kNoKey, key_length, params) != 1) {
        EVP_MAC_CTX_free(m_context);
        throw std::runtime_error("OpenSSL offers no HMAC-MD5");
    }
}

HmacMd5::~HmacMd5()
{
    EVP_MAC_CTX_free(m_context);
}

void HmacMd5::update(const void* data, size_t count)
{
    EVP_MAC_update(m_context, static_cast<const unsigned char*>(data), count);
}

Tag HmacMd5::finish()
{
    Tag tag{};
    size_t length = 0;
    EVP_MAC_final(m_context, tag.data(), &length, tag.size());
    return tag;
}

} // namespace kestrane
