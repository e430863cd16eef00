#pragma once

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrane::test {

// An encrypted package as the package scan sees it: type, encrypt mode, model tag, version (8 + 12
// characters) and company name at their header offsets, the body length, then `body` bytes of
// pattern and 144 more in place of the key block and the tag. Only the header and the size matter
// to the scan; packing copies the whole file unchanged.
inline Bytes encrypted_package_bytes(const std::string& type, const std::string& mode, const std::string& model,
                                     const std::string& version, const std::string& company, size_t body,
                                     uint32_t seed)
{
    Bytes file(140, 0);
    auto put = [&file](size_t offset, const std::string& text, size_t count) {
        std::copy_n(text.begin(), std::min(text.size(), count), file.begin() + static_cast<std::ptrdiff_t>(offset));
    };
    put(0, type, 4);
    put(4, mode, 4);
    put(8, model, 4);
    put(12, version, 8);
    if (version.size() > 8)
        put(52, version.substr(8), 12);
    put(20, company, 16);
    for (size_t i = 0; i < 4; ++i)
        file[136 + i] = static_cast<uint8_t>(body >> (8 * i));
    const Bytes rest = pattern_bytes(body + 144, seed);
    file.insert(file.end(), rest.begin(), rest.end());
    return file;
}

// A package file: "PKG0"/"PLAN", the version in the information field, the payload N | S1 | file 1
// | S2 | file 2 ... in list order, and an MD5 trailer that openssl agrees with.
inline testing::AssertionResult package_file_holds(const Bytes& file, const std::string& version,
                                                   const std::vector<Bytes>& entries)
{
    auto u32 = [&file](size_t offset) {
        return uint32_t{file[offset]} | uint32_t{file[offset + 1]} << 8 | uint32_t{file[offset + 2]} << 16
            | uint32_t{file[offset + 3]} << 24;
    };
    size_t payload = 4;
    for (const Bytes& entry : entries)
        payload += 4 + entry.size();
    if (file.size() != 140 + payload + 16)
        return testing::AssertionFailure() << "size " << file.size() << ", expected " << 140 + payload + 16;
    if (text_at(file, 0, 8) != "PKG0PLAN")
        return testing::AssertionFailure() << "tags " << text_at(file, 0, 8);
    if (text_at(file, 12, 8).c_str() != version.substr(0, 8))
        return testing::AssertionFailure() << "version " << text_at(file, 12, 8);
    if (u32(136) != payload || u32(140) != entries.size())
        return testing::AssertionFailure() << "payload length " << u32(136) << ", entries " << u32(140);
    size_t at = 144;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (u32(at) != entries[i].size() || !std::equal(entries[i].begin(), entries[i].end(), file.begin() + at + 4))
            return testing::AssertionFailure() << "entry " << i << " differs";
        at += 4 + entries[i].size();
    }
    const Bytes covered(file.begin(), file.end() - 16);
    if (to_hex(file.data() + covered.size(), 16) != openssl_md5_hex(covered))
        return testing::AssertionFailure() << "MD5 trailer differs from openssl's";
    return testing::AssertionSuccess();
}

} // namespace kestrane::test
