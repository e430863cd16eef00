#pragma once

#include <new>
#include <system_error>

namespace kestrane {

// Runs `work` and returns its result code. When the system runs short on the way (the standard
// library throws std::bad_alloc, or std::system_error when a thread cannot start) the result is
// `cannot_create` instead; whatever the work had begun is undone as its objects go (an output that
// was not committed leaves nothing behind).
template <typename Work> int or_cannot_create(int cannot_create, Work&& work)
{
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return cannot_create;
    } catch (const std::system_error&) {
        return cannot_create;
    }
}

} // namespace kestrane
