#pragma once

#include <string>

namespace kestrane {

// What a piece of work came to: its result code and the message that tells the user so. The core
// returns it; the operation that asked decides whether and when the message is shown.
struct Outcome {
    int code = 0;
    std::string message;
};

} // namespace kestrane
