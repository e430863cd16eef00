#pragma once

// The system's path rules, for the names and folders the front ends show and propose.
#include "format/path_rules.h"
