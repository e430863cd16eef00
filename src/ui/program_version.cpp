#include "ui/program_version.h"

#include "ops/build_identity.h"

namespace kestrane {

QString program_version_title()
{
    return QString::fromStdString(version_title(running_program_file_version()));
}

QString program_file_version()
{
    return QString::fromStdString(four_part_version(running_program_file_version()));
}

} // namespace kestrane
