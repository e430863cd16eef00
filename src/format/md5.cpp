#include "format/md5.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace kestrane {
namespace {

// Fetched once: an implicit fetch on every initialisation costs a look-up in the provider tables.
const EVP_MD* md5_algorithm()
{
    static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return algorithm;
}

} // namespace

Md5::Md5()
{
    if (!md5_algorithm())
        throw std::runtime_error("OpenSSL offers no MD5");
    m_context = EVP_MD_CTX_new();
    if (!m_context)
        throw std::bad_alloc();
    if (EVP_DigestInit_ex(m_context, md5_algorithm(), nullptr) != 1) {
        EVP_MD_CTX_free(m_context);
        throw std::runtime_error("OpenSSL offers no MD5");
    }
}

Md5::~Md5()
{
    EVP_MD_CTX_free(m_context);
}

void Md5::update(const void* data, size_t count)
{
    EVP_DigestUpdate(m_context, data, count);
}

Md5Digest Md5::finish()
{
    Md5Digest digest{};
    EVP_DigestFinal_ex(m_context, digest.data(), nullptr);
    return digest;
}

} // namespace kestrane
