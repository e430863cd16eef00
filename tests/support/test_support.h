#pragma once

#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrane::test {

using Bytes = std::vector<uint8_t>;

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};

Bytes read_bytes(const std::string& path);
void write_bytes(const std::string& path, const Bytes& bytes);
void write_text(const std::string& path, const std::string& text);
Bytes bytes_of(const std::string& text);
Bytes pattern_bytes(size_t count, uint32_t seed = 1);
std::string to_hex(const uint8_t* data, size_t count);
template <typename Container> std::string to_hex(const Container& bytes)
{
    return to_hex(bytes.data(), bytes.size());
}
std::string text_at(const Bytes& bytes, size_t offset, size_t count);
bool all_zero(const Bytes& bytes, size_t offset, size_t count);

struct ProcessResult {
    int exit_code = -1;
    std::string standard_output;
    std::string standard_error;
};

// Runs a program without a shell, optionally feeding its standard input.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const Bytes& standard_input = {}, const std::string& working_directory = {});

// Independent oracles.
std::string openssl_md5_hex(const Bytes& data);
std::string openssl_hmac_md5_hex(const Bytes& key, const Bytes& data);

std::string test_data_path(const std::string& name);

} // namespace kestrane::test
