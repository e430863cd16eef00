#include "app/startup.h"

int main(int argc, char* argv[])
{
    return kestrane::run_kestrane(argc, argv);
}
