// The streaming encrypt_package on arbitrary input. Input layout: flags (1) | company key (8) |
// name length (1) | company name | the file to encrypt. A package is checked against its input:
// refusal exactly when the layout says so, the header, the body length, the copied bytes, sealed
// blocks opened with the development private key, and the HMAC-MD5 tag; a refused encryption
// leaves an existing output untouched and nothing beside it.

#include "fuzz_support.h"

#include "crypt/encrypted_package.h"
#include "crypt/sealing.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstring>
#include <sys/stat.h>

using namespace kestrane;
using namespace kestrane::fuzz;

namespace {

EVP_PKEY* private_key()
{
    static EVP_PKEY* const key = [] {
        BIO* file = BIO_new_file(KESTRANE_DEVELOPMENT_PRIVATE_KEY, "r");
        EVP_PKEY* parsed = file ? PEM_read_bio_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
        BIO_free(file);
        return parsed;
    }();
    FUZZ_REQUIRE(key != nullptr, "cannot parse the development private key");
    return key;
}

// The raw RSA private operation: the padded 128-byte block that was sealed.
bool open_block(const uint8_t* block, uint8_t (&plain)[128])
{
    size_t length = sizeof plain;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(private_key(), nullptr);
    const bool opened = context && EVP_PKEY_decrypt_init(context) == 1
        && EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) == 1
        && EVP_PKEY_decrypt(context, plain, &length, block, 128) == 1 && length == sizeof plain;
    EVP_PKEY_CTX_free(context);
    return opened;
}

// The plaintext of one sealed block: what follows the 00 02 <non-zero padding> 00 prefix.
Bytes unseal(const uint8_t* block)
{
    uint8_t plain[128];
    FUZZ_REQUIRE(open_block(block, plain), "RSA private");
    FUZZ_REQUIRE(plain[0] == 0 && plain[1] == 2, "not a PKCS#1 v1.5 type 2 block");
    size_t separator = 2;
    while (separator < 128 && plain[separator] != 0)
        ++separator;
    FUZZ_REQUIRE(separator >= 10 && separator < 128, "padding");
    return Bytes(plain + separator + 1, plain + 128);
}

// OpenSSL's MD5 of everything before the trailer.
Bytes md5_of_covered(const Bytes& input)
{
    Bytes digest(16);
    unsigned int length = 0;
    EVP_Digest(input.data(), input.size() - 16, digest.data(), &length, EVP_md5(), nullptr);
    return digest;
}

bool refused_by_layout(const Bytes& input, const std::string& company)
{
    if (input.size() < 156 || company.size() > 16)
        return true;
    if (std::memcmp(input.data() + 4, "PLAN", 4) != 0)
        return true;
    if (u32_at(input, 136) != input.size() - 156)
        return true;
    return md5_of_covered(input) != Bytes(input.end() - 16, input.end());
}

uint64_t sealed_size(uint64_t n)
{
    return n >= 1044 ? n + 108 : 128 * (n / 116 + 1);
}

void check_package(const Bytes& package, const Bytes& input, bool enc1, const std::string& company,
                   const CompanyKey& key)
{
    FUZZ_REQUIRE(package.size() >= 284, "too short");
    FUZZ_REQUIRE(std::memcmp(package.data(), input.data(), 4) == 0, "type tag");
    FUZZ_REQUIRE(std::memcmp(package.data() + 4, enc1 ? "ENC1" : "ENCR", 4) == 0, "encrypt mode");
    Bytes company_slot(16, 0);
    std::copy(company.begin(), company.end(), company_slot.begin());
    FUZZ_REQUIRE(std::equal(company_slot.begin(), company_slot.end(), package.begin() + 20), "company name");
    FUZZ_REQUIRE(std::equal(input.begin() + 8, input.begin() + 20, package.begin() + 8)
                     && std::equal(input.begin() + 36, input.begin() + 136, package.begin() + 36),
                 "information field");

    const bool copy_only = std::memcmp(input.data(), "PKG0", 4) == 0;
    const size_t source_offset = enc1 ? 0 : 136;
    const uint64_t source_length = enc1 ? input.size() : uint64_t{u32_at(input, 136)} + 20;
    const uint32_t body = u32_at(package, 136);
    FUZZ_REQUIRE(body == (copy_only ? source_length : sealed_size(source_length)), std::to_string(body));
    FUZZ_REQUIRE(package.size() == uint64_t{body} + 284, "size is not body + 284");

    const uint8_t* source = input.data() + source_offset;
    const uint8_t* packed = package.data() + 140;
    if (copy_only) {
        FUZZ_REQUIRE(std::memcmp(packed, source, source_length) == 0, "a package file body is copied whole");
    } else {
        // The first and the last sealed block open to their chunks; past 9 chunks bytes are copied.
        const uint64_t sealed_input = std::min<uint64_t>(source_length, 1044);
        const uint64_t blocks = source_length >= 1044 ? 9 : source_length / 116 + 1;
        for (const uint64_t block : {uint64_t{0}, blocks - 1}) {
            const uint64_t from = block * 116;
            const Bytes chunk(source + from, source + std::min<uint64_t>(sealed_input, from + 116));
            FUZZ_REQUIRE(unseal(packed + block * 128) == chunk, "sealed block " + std::to_string(block));
        }
        FUZZ_REQUIRE(std::memcmp(packed + blocks * 128, source + sealed_input, source_length - sealed_input) == 0,
                     "copied tail");
    }
    // Key block: the company key, then the bytes 8..115.
    const Bytes key_plain = unseal(package.data() + package.size() - 144);
    FUZZ_REQUIRE(key_plain.size() == 116 && std::equal(key.begin(), key.end(), key_plain.begin()), "key block");
    for (size_t i = 8; i < 116; ++i)
        FUZZ_REQUIRE(key_plain[i] == i, "key block filler");
    uint8_t tag[16];
    size_t tag_length = 0;
    FUZZ_REQUIRE(EVP_Q_mac(nullptr, "HMAC", nullptr, "MD5", nullptr, key.data(), key.size(), package.data(),
                           package.size() - 16, tag, sizeof tag, &tag_length) != nullptr, "HMAC-MD5");
    FUZZ_REQUIRE(std::memcmp(tag, package.data() + package.size() - 16, 16) == 0, "HMAC-MD5 tag");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 10)
        return 0;
    const bool enc1 = data[0] & 1;
    CompanyKey key{};
    std::memcpy(key.data(), data + 1, 8);
    const size_t name_length = std::min<size_t>(data[9] & 31, size - 10);
    const std::string company(reinterpret_cast<const char*>(data + 10), name_length);
    const uint8_t* file = data + 10 + name_length;
    const size_t n = size - 10 - name_length;
    Bytes input(file, file + n);
    // Half the inputs whose length field fits get their true trailer, so that packages get built.
    if ((data[0] & 2) && n >= 156 && u32_at(input, 136) == n - 156) {
        const Bytes trailer = md5_of_covered(input);
        std::copy(trailer.begin(), trailer.end(), input.end() - 16);
    }
    const bool refused = refused_by_layout(input, company);

    const std::string in_path = scratch_path("input.wrp");
    const std::string out_folder = scratch_path("out");
    ::mkdir(out_folder.c_str(), 0700);
    const std::string out_path = out_folder + "/input.enc";
    const Bytes previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
    write_file(in_path, input);
    write_file(out_path, previous);
    const int encrypted = encrypt_package(in_path, out_path, company, key, enc1);
    FUZZ_REQUIRE(encrypted == (refused ? kPackageRefused : 1), "encrypt_package result " + std::to_string(encrypted));
    FUZZ_REQUIRE(entry_count(out_folder) == 1, "something was left beside the output");
    const Bytes written = read_file(out_path);
    if (refused) {
        FUZZ_REQUIRE(written == previous, "a refused encryption changed the existing output");
    } else {
        check_package(written, input, enc1, company, key);
    }
    return 0;
}
