#include "ops/field_limits.h"

#include "crypt/package_encoder.h"
#include "format/tagged_layout.h"

static_assert(kestrane::kVersionFieldLimit == kestrane::layout::kVersionMaxLength);
static_assert(kestrane::kCompanyNameFieldLimit == kestrane::package::kMaxCompanyName);
