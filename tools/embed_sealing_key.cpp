// Build-time tool: reads the sealing key (an RSA public key in PEM, as `openssl rsa -pubout`
// writes it), refuses anything but a 1024-bit key with exponent 65537, and writes a C++ source
// file that holds the modulus as 128 big-endian bytes, the key's fingerprint (SHA-256 of its DER
// SubjectPublicKeyInfo) and whether it is the development key. With --release it also refuses the
// development key, whose private half is in the repository.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Bytes = std::vector<unsigned char>;

struct PemBlock {
    std::string label;
    Bytes der;
};

// The first PEM block of the file, or nothing when the file has none.
std::optional<PemBlock> read_pem_block(const char* path)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(path, "r"), &BIO_free);
    char* label = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;
    if (!file || PEM_read_bio(file.get(), &label, &header, &data, &length) != 1)
        return std::nullopt;
    PemBlock block{label, Bytes(data, data + length)};
    OPENSSL_free(label);
    OPENSSL_free(header);
    OPENSSL_free(data);
    return block;
}

// The public key of a "PUBLIC KEY" (SubjectPublicKeyInfo) or "RSA PUBLIC KEY" (PKCS#1) block.
Key decode_public_key(const PemBlock& block)
{
    const unsigned char* cursor = block.der.data();
    const long length = static_cast<long>(block.der.size());
    if (block.label == "PUBLIC KEY")
        return Key(d2i_PUBKEY(nullptr, &cursor, length), &EVP_PKEY_free);
    if (block.label == "RSA PUBLIC KEY")
        return Key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, length), &EVP_PKEY_free);
    return Key(nullptr, &EVP_PKEY_free);
}

// Reads the public key at `path`; nothing (after a line on standard error) when there is none.
Key read_public_key(const char* path)
{
    const std::optional<PemBlock> block = read_pem_block(path);
    if (block && block->label.find("PRIVATE") != std::string::npos) {
        std::fprintf(stderr, "sealing key %s: a private key; the build takes the public half only "
                             "(`openssl pkey -pubout`)\n", path);
        return Key(nullptr, &EVP_PKEY_free);
    }
    Key key = block ? decode_public_key(*block) : Key(nullptr, &EVP_PKEY_free);
    if (!key)
        std::fprintf(stderr, "sealing key %s: not an RSA public key in PEM (expected the output of "
                             "`openssl rsa -pubout`)\n", path);
    return key;
}

// Checks the key is RSA-1024 with exponent 65537 and takes its modulus; false after a line on
// standard error.
bool read_modulus(const char* path, EVP_PKEY* key, unsigned char (&modulus)[128])
{
    if (!EVP_PKEY_is_a(key, "RSA")) {
        std::fprintf(stderr, "sealing key %s: not an RSA key\n", path);
        return false;
    }
    const int bits = EVP_PKEY_get_bits(key);
    if (bits != 1024) {
        std::fprintf(stderr, "sealing key %s: %d bits; the sealing key must be RSA-1024\n", path, bits);
        return false;
    }
    BIGNUM* n = nullptr;
    BIGNUM* e = nullptr;
    bool ok = false;
    if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n) != 1
        || EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e) != 1
        || BN_bn2binpad(n, modulus, sizeof modulus) != static_cast<int>(sizeof modulus))
        std::fprintf(stderr, "sealing key %s: cannot read the modulus\n", path);
    else if (!BN_is_word(e, 65537))
        std::fprintf(stderr, "sealing key %s: public exponent is not 65537\n", path);
    else
        ok = true;
    BN_free(n);
    BN_free(e);
    return ok;
}

Bytes subject_public_key_info(EVP_PKEY* key)
{
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0)
        return {};
    Bytes info(der, der + length);
    OPENSSL_free(der);
    return info;
}

std::string sha256_hex(const Bytes& data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return {};
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

bool write_source(const char* path, const unsigned char (&modulus)[128], const std::string& fingerprint,
                  bool development)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "// Generated from the sealing key at build time. Do not edit.\n"
           "#include \"crypt/sealing_key.h\"\n\n"
           "namespace kestrane {\n\n"
           "const std::array<uint8_t, 128> kSealingKeyModulus = {";
    for (size_t i = 0; i < sizeof modulus; ++i) {
        char byte[16];
        std::snprintf(byte, sizeof byte, "%s0x%02x", i % 12 == 0 ? "\n    " : " ", modulus[i]);
        out << byte << (i + 1 < sizeof modulus ? "," : "");
    }
    out << "\n};\n\n"
           "std::string_view sealing_key_fingerprint()\n{\n    return \"" << fingerprint << "\";\n}\n\n"
           "bool is_development_sealing_key()\n{\n    return " << (development ? "true" : "false") << ";\n}\n\n"
           "} // namespace kestrane\n";
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    const bool release = argc == 5 && std::strcmp(argv[1], "--release") == 0;
    if (argc != 4 && !release) {
        std::fprintf(stderr, "usage: %s [--release] PUBLIC_KEY.pem DEVELOPMENT_KEY.pem OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    const char* key_path = argv[argc - 3];
    const char* development_key_path = argv[argc - 2];
    const char* output_path = argv[argc - 1];

    const Key key = read_public_key(key_path);
    unsigned char modulus[128];
    if (!key || !read_modulus(key_path, key.get(), modulus))
        return 1;
    const Key development_key = read_public_key(development_key_path);
    if (!development_key)
        return 1;
    const Bytes info = subject_public_key_info(key.get());
    const std::string fingerprint = sha256_hex(info);
    if (info.empty() || fingerprint.empty()) {
        std::fprintf(stderr, "sealing key %s: cannot compute its fingerprint\n", key_path);
        return 1;
    }
    const bool development = info == subject_public_key_info(development_key.get());
    if (release && development) {
        std::fprintf(stderr, "sealing key %s: this is the development key, whose private half is in the "
                             "repository; a release carries the maker's own public key "
                             "(make release SEALING_KEY=public.pem)\n", key_path);
        return 1;
    }
    if (!write_source(output_path, modulus, fingerprint, development)) {
        std::fprintf(stderr, "cannot write %s\n", output_path);
        return 1;
    }
    if (release)
        std::printf("sealing key %s: fingerprint %s\n", key_path, fingerprint.c_str());
    return 0;
}
