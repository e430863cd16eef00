#pragma once

#include "crypt/company_key.h"
#include "format/integrity.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrane {

// The body length S an encrypted package announces, when its file is exactly S + 284 bytes long.
std::optional<uint32_t> package_body_length(const std::string& path);

// Whether an encrypted package's tag is the HMAC-MD5 of everything before it under `key`.
IntegrityCheck check_package_tag(const std::string& path, const CompanyKey& key);

} // namespace kestrane
