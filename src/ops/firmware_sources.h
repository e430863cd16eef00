#pragma once

// What a front end needs to offer a wrapping job and check its source first: the wrapping types
// (the dialog's list, the command line's type words) and the checks of a source path.
#include "wrap/source_checks.h"
#include "wrap/wrapping.h"
