#pragma once

namespace kestrane {

// The base of a class whose objects hold what must not be duplicated (an open file, a thread, a
// cipher state): such an object is neither copied nor moved.
class NonCopyable {
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

} // namespace kestrane
