#include "crypt/company_key_file.h"

#include "common/file_io.h"
#include "format/little_endian.h"
#include "format/tagged_file_writer.h"
#include "format/tagged_layout.h"

#include <openssl/crypto.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace kestrane {

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

namespace {

// Converts the key text; false (after its line on standard error) when it is not valid.
bool convert_key_text(const std::string& hex_key, CompanyKey& key)
{
    if (hex_key.size() % 2 != 0) {
        std::fputs("data incorrect\n", stderr);
        return false;
    }
    const size_t count = hex_key.size() / 2;
    if (count > key.size()) {
        std::fputs("data incorrect2\n", stderr);
        return false;
    }
    key.fill(0);
    for (size_t i = 0; i < count; ++i) {
        const int high = hex_digit_value(hex_key[2 * i]);
        const int low = hex_digit_value(hex_key[2 * i + 1]);
        if (high < 0 || low < 0) {
            std::fprintf(stderr, "convert error - %s", hex_key.substr(2 * i, 2).c_str());
            return false;
        }
        key[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

} // namespace

int write_company_key_file(const std::string& hex_key, const std::string& company_name, const std::string& path,
                           IoPolicy& io)
{
    CompanyKey key{};
    if (!convert_key_text(hex_key, key)) {
        cleanse_key(key);
        return kKeyFileBadKeyText;
    }
    std::vector<uint8_t> payload(key.begin(), key.end());
    cleanse_key(key);
    payload.insert(payload.end(), company_name.begin(), company_name.end());
    const int result = write_tagged_file(path, tags::kCompanyKey, tags::kPlain, InformationField{}, payload,
                                         FileAccess::OwnerOnly, io);
    OPENSSL_cleanse(payload.data(), payload.size());
    return result == kWriteOk ? kKeyFileOk : kKeyFileCannotCreate;
}

int read_company_key_file(const std::string& path, CompanyKey& key, std::string& company_name)
{
    using namespace company_key_file;
    InputFile file;
    if (!file.open(path))
        return kKeyFileCannotOpen;
    uint8_t header[layout::kHeaderSize] = {};
    const int64_t got = file.read_up_to(header, sizeof header);
    if (got < 0)
        return kKeyFileCannotOpen;
    if (std::memcmp(header + layout::kTypeTagOffset, tags::kCompanyKey.data(), layout::kTagSize) != 0)
        return kKeyFileNotCompanyKey;
    if (std::memcmp(header + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize) != 0)
        return kKeyFileNotPlain;
    if (got < static_cast<int64_t>(sizeof header))
        return kKeyFileBadPayload;
    const int32_t length = static_cast<int32_t>(load_u32_le(header + layout::kLengthOffset));
    if (length < static_cast<int32_t>(kMinPayload) || length > static_cast<int32_t>(kMaxPayload))
        return kKeyFileBadPayload;
    uint8_t payload[kMaxPayload + 1] = {};
    const bool complete = file.read_exact(payload, static_cast<size_t>(length));
    if (complete) {
        std::memcpy(key.data(), payload, key.size());
        company_name.assign(reinterpret_cast<const char*>(payload + key.size())); // up to the first zero
    }
    OPENSSL_cleanse(payload, sizeof payload);
    return complete ? kKeyFileOk : kKeyFileBadPayload;
}

} // namespace kestrane
