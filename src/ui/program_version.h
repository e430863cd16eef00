#pragma once

#include <QString>

namespace kestrane {

// The main window's title for the running program's own version record: "Kestrane(v1.2.3)".
QString program_version_title();

// The running program's file version, all four parts: "1.2.3.0".
QString program_file_version();

} // namespace kestrane
