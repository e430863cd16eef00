#include "app/command_line.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "usage: kestrane [-key COMPANY_KEY_FILE] [-wrapping TYPE [-version VERSION]] FILE\n"
    "  TYPE: kernel, addon, webpage, brand, ocx, bootloader, dome7720, dome7760, emergency\n";

} // namespace

int main(int argc, char* argv[])
{
    const auto command_line = kestrane::parse_command_line(argc, argv);
    (void)command_line;
    std::fputs(kUsage, stderr);
    return 2;
}
