// Build-time tool: reads the sealing key (an RSA public key in PEM, as `openssl rsa -pubout`
// writes it), refuses anything but a 1024-bit key with exponent 65537, and writes a C++ source
// file that holds the modulus as 128 big-endian bytes.
#include <mbedtls/bignum.h>
#include <mbedtls/pk.h>
#include <mbedtls/rsa.h>

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PUBLIC_KEY.pem OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    const char* key_path = argv[1];

    mbedtls_pk_context pk;
    mbedtls_pk_init(&pk);
    int status = 1;
    unsigned char modulus[128];
    mbedtls_mpi exponent;
    mbedtls_mpi_init(&exponent);

    if (mbedtls_pk_parse_public_keyfile(&pk, key_path) != 0) {
        std::fprintf(stderr, "sealing key %s: not an RSA public key in PEM (expected the output of "
                             "`openssl rsa -pubout`)\n", key_path);
    } else if (mbedtls_pk_get_type(&pk) != MBEDTLS_PK_RSA) {
        std::fprintf(stderr, "sealing key %s: not an RSA key\n", key_path);
    } else {
        mbedtls_rsa_context* rsa = mbedtls_pk_rsa(pk);
        const size_t bits = mbedtls_pk_get_bitlen(&pk);
        mbedtls_rsa_export(rsa, nullptr, nullptr, nullptr, nullptr, &exponent);
        if (bits != 1024) {
            std::fprintf(stderr, "sealing key %s: %zu bits; the sealing key must be RSA-1024\n", key_path, bits);
        } else if (mbedtls_mpi_cmp_int(&exponent, 65537) != 0) {
            std::fprintf(stderr, "sealing key %s: public exponent is not 65537\n", key_path);
        } else if (mbedtls_rsa_export_raw(rsa, modulus, sizeof modulus, nullptr, 0, nullptr, 0,
                                          nullptr, 0, nullptr, 0) != 0) {
            std::fprintf(stderr, "sealing key %s: cannot read the modulus\n", key_path);
        } else {
            status = 0;
        }
    }
    mbedtls_mpi_free(&exponent);
    mbedtls_pk_free(&pk);
    if (status != 0)
        return status;

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "// Generated from the sealing key at build time. Do not edit.\n"
           "#include \"crypt/sealing_key.h\"\n\n"
           "namespace kestrane {\n\n"
           "const std::array<uint8_t, 128> kSealingKeyModulus = {";
    for (size_t i = 0; i < sizeof modulus; ++i) {
        char byte[16];
        std::snprintf(byte, sizeof byte, "%s0x%02x", i % 12 == 0 ? "\n    " : " ", modulus[i]);
        out << byte << (i + 1 < sizeof modulus ? "," : "");
    }
    out << "\n};\n\n} // namespace kestrane\n";
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
