#pragma once

// Paths, streamed input files and atomically replaced outputs, for code that uses all three.
#include "common/atomic_output_file.h"
#include "common/input_file.h"
#include "common/paths.h"
