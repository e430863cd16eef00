#pragma once

#include "common/non_copyable.h"

#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrane {

// The passphrase of an encrypted PEM file, asked for only when the file is encrypted: nothing when
// none can be had. The loader cleanses it after use.
using PassphraseSource = std::function<std::optional<std::string>()>;

// The private half of a sealing key, as the device holds it: it opens sealed blocks. Loaded from
// a PEM file (PKCS#1 or PKCS#8, encrypted or not); the key material stays inside OpenSSL, which
// cleanses it when the key goes.
class PrivateSealingKey : NonCopyable {
public:
    enum class Load {
        Loaded,
        CannotRead,      // missing, not a regular file, or unreadable
        OpenToOthers,    // group or others have rights on the file (POSIX)
        NeedsPassphrase, // encrypted, and no passphrase was to be had
        WrongPassphrase, // encrypted, and the passphrase does not decrypt it
        NotAKey,         // no private key in PEM
        NotRsa1024,      // a private key, but not RSA with a 1024-bit modulus
        NotStrict,       // OpenSSL would not open blocks with strict padding checks
    };

    // The key in `path`, or why there is none. `mode` receives the file's permission bits when
    // it was examined (for the message of OpenToOthers).
    static Load load(const std::string& path, const PassphraseSource& passphrase,
                     std::unique_ptr<PrivateSealingKey>& key, unsigned* mode = nullptr);

    ~PrivateSealingKey();

    // SHA-256 of the public half's DER SubjectPublicKeyInfo, lower-case hex: the same fingerprint
    // as the built-in key's (sealing_key_fingerprint()).
    const std::string& fingerprint() const { return m_fingerprint; }
    // Whether the public half is the built-in sealing key.
    bool matches_built_in_key() const;

    // Opens one 128-byte sealed block into `chunk` (room for 128 bytes): the chunk's length, or
    // nothing when the block is no PKCS#1 v1.5 type-2 block under this key. Padding is checked
    // strictly; OpenSSL's implicit rejection, which would answer a synthetic message, is turned off.
    std::optional<size_t> open_block(const uint8_t* block, uint8_t* chunk) const;

private:
    explicit PrivateSealingKey(EVP_PKEY* key);

    EVP_PKEY* m_key = nullptr;
    EVP_PKEY_CTX* m_context = nullptr;
    std::string m_fingerprint;
};

} // namespace kestrane
