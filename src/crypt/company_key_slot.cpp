#include "crypt/company_key_slot.h"

#include <openssl/crypto.h>

#include <mutex>

namespace kestrane {
namespace {

// The slot's storage: cleansed when the process ends.
class Slot {
public:
    ~Slot() { cleanse_key(m_key); }

    void set(const CompanyKey& key)
    {
        std::lock_guard lock(m_mutex);
        m_key = key;
    }

    CompanyKey get()
    {
        std::lock_guard lock(m_mutex);
        return m_key;
    }

private:
    std::mutex m_mutex;
    CompanyKey m_key = {0x4B, 0x45, 0x53, 0x54, 0x52, 0x41, 0x4E, 0x45};
};

Slot g_slot;

} // namespace

void cleanse_key(CompanyKey& key)
{
    OPENSSL_cleanse(key.data(), key.size());
}

void set_company_key(uint8_t k0, uint8_t k1, uint8_t k2, uint8_t k3, uint8_t k4, uint8_t k5,
                     uint8_t k6, uint8_t k7)
{
    CompanyKey key{k0, k1, k2, k3, k4, k5, k6, k7};
    set_company_key(key);
    cleanse_key(key);
}

void set_company_key(const CompanyKey& key)
{
    g_slot.set(key);
}

CompanyKey company_key()
{
    return g_slot.get();
}

} // namespace kestrane
