#pragma once

#include <cstddef>

namespace kestrane {

// The longest texts the files' fields hold, in bytes, which the front ends' fields take: a version
// (the tagged file's two version fields) and a company name (an encrypted package's field).
// ops/field_limits.cpp checks them against the formats.
inline constexpr size_t kVersionFieldLimit = 20;
inline constexpr size_t kCompanyNameFieldLimit = 16;

} // namespace kestrane
