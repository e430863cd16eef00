#pragma once

#include "format/little_endian.h"
#include "format/tagged_layout.h"
#include "support/test_support.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace kestrane::test {

struct Header {
    std::string type;
    std::string model;
    std::string version;
    std::string company = "ACME";
    std::string mode = "ENCR";
};

// An encrypted package as far as the scan reads it: tags, information field and a body length
// that fits the size (284 bytes of framing), then filler.
constexpr size_t kFraming = 284;

inline void write_package(const TempDir& dir, const std::string& name, const Header& header, size_t size = 300,
                          size_t body_length = 300 - kFraming)
{
    Bytes bytes = pattern_bytes(std::max<size_t>(size, 140), static_cast<uint32_t>(name.size()));
    std::memcpy(bytes.data(), header.type.data(), 4);
    std::memcpy(bytes.data() + 4, header.mode.data(), 4);
    const auto information = build_information_field(header.model, header.version, header.company);
    std::copy(information.begin(), information.end(), bytes.begin() + 8);
    store_u32_le(bytes.data() + 136, static_cast<uint32_t>(body_length));
    bytes.resize(size);
    write_bytes(dir.file(name), bytes);
}

// The scan's messages.
inline std::string duplicate(const std::string& path, const std::string& admitted, const std::string& tag)
{
    return "Duplicate protect file[" + path + ", " + admitted + "] major is [" + tag + "]";
}

inline std::string company_mismatch(const std::string& path, const std::string& company, const std::string& admitted,
                                    const std::string& admitted_company)
{
    return "Company name not match file[" + path + "(" + company + "), " + admitted + "(" + admitted_company + ")]";
}

inline std::string damaged(const std::string& path)
{
    return "Body length not match file[" + path + "]";
}

inline std::string key_file_refused(const std::string& path)
{
    return "Could not insert vid file for package file [vid file:" + path + "]";
}

} // namespace kestrane::test
