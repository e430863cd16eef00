#pragma once

// The choices the dialogs remember between runs (the source folder, the encryption mode, the
// company key file): front ends read and write them through here, never the settings layer itself.
#include "settings/settings_store.h"
