#include "crypt/company_key.h"

#include <openssl/crypto.h>

namespace kestrane {

void cleanse_key(CompanyKey& key)
{
    OPENSSL_cleanse(key.data(), key.size());
}

} // namespace kestrane
