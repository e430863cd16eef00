#include "format/md5.h"

#include <mbedtls/md5.h>

namespace kestrane {

struct Md5::Context {
    mbedtls_md5_context md5;
};

Md5::Md5() : m_context(std::make_unique<Context>())
{
    mbedtls_md5_init(&m_context->md5);
    mbedtls_md5_starts_ret(&m_context->md5);
}

Md5::~Md5()
{
    mbedtls_md5_free(&m_context->md5);
}

void Md5::update(const void* data, size_t count)
{
    mbedtls_md5_update_ret(&m_context->md5, static_cast<const unsigned char*>(data), count);
}

Md5Digest Md5::finish()
{
    Md5Digest digest{};
    mbedtls_md5_finish_ret(&m_context->md5, digest.data());
    return digest;
}

Md5Digest md5_of(const void* data, size_t count)
{
    Md5 md5;
    md5.update(data, count);
    return md5.finish();
}

} // namespace kestrane
