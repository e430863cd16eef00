#pragma once

// The longest texts the files' fields hold (the version, the company name), which the front ends'
// fields take: layout::kVersionMaxLength, package::kMaxCompanyName.
#include "crypt/encrypted_package.h"
#include "format/tagged_layout.h"
