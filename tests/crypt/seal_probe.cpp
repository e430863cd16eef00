// Seals one fixed chunk and prints the block in hex: run twice, it shows whether two fresh
// processes draw the same padding.
#include "crypt/sealing.h"

#include <cstdio>

int main()
{
    const uint8_t chunk[] = {'f', 'i', 'r', 'm', 'w', 'a', 'r', 'e'};
    uint8_t block[128];
    if (kestrane::seal_data(chunk, block, sizeof chunk) != 128)
        return 1;
    for (const uint8_t byte : block)
        std::printf("%02x", byte);
    std::printf("\n");
    return 0;
}
