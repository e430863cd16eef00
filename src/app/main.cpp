#include "app/startup.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <io.h>

namespace {

// kestrane.exe is a windowed program (no console opens beside the dialogs). Started from a
// console with arguments, it writes to that console, and reads a version from it, unless its
// standard streams were redirected.
void use_parent_console(int argc)
{
    if (argc < 2 || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    auto unconnected = [](std::FILE* stream) { return _get_osfhandle(_fileno(stream)) < 0; };
    if (unconnected(stdout))
        std::freopen("CONOUT$", "w", stdout);
    if (unconnected(stderr))
        std::freopen("CONOUT$", "w", stderr);
    if (unconnected(stdin))
        std::freopen("CONIN$", "r", stdin);
}

} // namespace
#endif

int main(int argc, char* argv[])
{
#ifdef _WIN32
    use_parent_console(argc);
#endif
    return kestrane::run_kestrane(argc, argv);
}
