#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrane {

using Md5Digest = std::array<uint8_t, 16>;

// Streaming MD5 (RFC 1321) over mbed TLS.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void update(const void* data, size_t count);
    Md5Digest finish();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

Md5Digest md5_of(const void* data, size_t count);

} // namespace kestrane
