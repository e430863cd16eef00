#pragma once

#include "ops/front_end.h"

// Helpers shared by the fuzz targets: a private scratch folder, raw file writes, and a check that
// stops the run (a finding) when a property of the code under test does not hold.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrane::fuzz {

using Bytes = std::vector<uint8_t>;

// A folder of this process's own, created on first use and removed when the process ends.
const std::string& scratch_directory();
// A path inside the scratch folder.
std::string scratch_path(const std::string& name);

// Replaces the file at `path` with exactly these bytes (plain POSIX calls, any name bytes).
void write_file(const std::string& path, const uint8_t* data, size_t size);
void write_file(const std::string& path, const Bytes& bytes);
// The file's bytes; empty when it cannot be read. `exists` tells the two apart.
Bytes read_file(const std::string& path, bool* exists = nullptr);
bool file_exists(const std::string& path);
// Removes everything inside `directory` (not the folder itself).
void empty_directory(const std::string& directory);
// The number of entries of a folder, "." and ".." left out.
size_t entry_count(const std::string& directory);

// The text of `count` bytes at `offset` (zero bytes past the end), cut at its first zero byte.
std::string cut_text(const Bytes& bytes, size_t offset, size_t count);
uint32_t u32_at(const Bytes& bytes, size_t offset);

// A front end that counts the messages instead of showing them, asks no question and shows no
// progress.
class CountingFrontEnd : public FrontEnd {
public:
    void show_message(const std::string& text, MessageIcon) override
    {
        ++m_shown;
        m_last = text;
    }
    std::optional<std::string> ask_version(const std::string&) override { return std::nullopt; }
    ProgressPresenter* progress() override { return nullptr; }

    size_t shown() const { return m_shown; }
    const std::string& last() const { return m_last; }
    void reset()
    {
        m_shown = 0;
        m_last.clear();
    }

private:
    size_t m_shown = 0;
    std::string m_last;
};

// A property that must hold; prints what failed and aborts (libFuzzer keeps the input).
[[noreturn]] void fail(const char* file, int line, const std::string& what);

} // namespace kestrane::fuzz

#define FUZZ_REQUIRE(condition, what)                                                                  \
    do {                                                                                               \
        if (!(condition))                                                                              \
            ::kestrane::fuzz::fail(__FILE__, __LINE__, std::string(#condition) + ": " + (what));       \
    } while (false)
