#include "crypt/secure_random.h"

#include <openssl/rand.h>

#include <algorithm>
#include <climits>

namespace kestrane {

bool secure_random_bytes(uint8_t* destination, size_t count)
{
    while (count > 0) {
        const size_t step = std::min<size_t>(count, INT_MAX);
        if (RAND_bytes(destination, static_cast<int>(step)) != 1)
            return false;
        destination += step;
        count -= step;
    }
    return true;
}

} // namespace kestrane
