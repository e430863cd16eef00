#include "format/sha256.h"

#include "common/input_file.h"
#include "common/text_format.h"

#include <openssl/evp.h>

#include <memory>
#include <vector>

namespace kestrane {
namespace {

constexpr size_t kBlockSize = size_t{1} << 20;

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

} // namespace

std::optional<FileDigest> sha256_of_file(const std::string& path)
{
    InputFile input;
    const DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 || !input.open(path))
        return std::nullopt;
    std::vector<unsigned char> block(kBlockSize);
    FileDigest digest;
    for (;;) {
        const int64_t count = input.read_some(block.data(), block.size());
        if (count == InputFile::kReadError)
            return std::nullopt;
        if (count == 0)
            break;
        EVP_DigestUpdate(context.get(), block.data(), static_cast<size_t>(count));
        digest.size += static_cast<uint64_t>(count);
    }
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context.get(), bytes, &length) != 1)
        return std::nullopt;
    digest.sha256 = hex_of(bytes, length);
    return digest;
}

} // namespace kestrane
