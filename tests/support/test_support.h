#pragma once

#include "common/io_policy.h"
#include "ops/front_end.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrane::test {

using Bytes = std::vector<uint8_t>;

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    const std::string& path() const { return m_path; }
    // A path in the folder, with the system's separators ("name" may hold "/").
    std::string file(const std::string& name) const;
    // The names of everything in the folder, hidden entries and sub-folders too, sorted.
    std::vector<std::string> entries() const;
    size_t entry_count() const { return entries().size(); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};

// Points the per-user profile and the program directory (Kestrane.ini, the default company key
// files) at temporary folders, never at the user's own.
class IsolatedSettings : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TempDir m_profile;
    TempDir m_program;
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

// A child process with its own environment: `set` adds or replaces variables, `unset` removes them.
struct ProcessOptions {
    std::string working_directory;
    std::vector<std::pair<std::string, std::string>> set;
    std::vector<std::string> unset;
    Bytes standard_input;
    int timeout_ms = 300000;
};
ProcessResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const ProcessOptions& options);
// Prepares a child process as run_program does (environment, working folder) and starts it.
void start_program(QProcess& process, const std::string& program, const std::vector<std::string>& arguments,
                   const ProcessOptions& options);

// The non-empty lines of a text.
std::vector<std::string> lines_of(const std::string& text);

// A U-Boot legacy image made by mkimage: the image name lands at file offset 32.
void make_uimage(const std::string& path, const std::string& image_name, const Bytes& data);

// Independent oracles.
std::string openssl_md5_hex(const Bytes& data);

// A folder `name` of `dir` holding a web page ("index.html") and, unless left out, an image
// ("img/logo.png"); its path.
enum class WebImage { Included, LeftOut };
std::string make_web(const TempDir& dir, const std::string& name = "web", WebImage image = WebImage::Included);

// Checks a wrapped file: tags, model, version, payload and the MD5 trailer (by openssl).
testing::AssertionResult wrapped_as(const std::string& path, const std::string& type, const std::string& model,
                                    const std::string& version, const Bytes* payload);
std::string openssl_hmac_md5_hex(const Bytes& key, const Bytes& data);
// What `openssl pkey -pubin -in KEY.pem -outform DER | sha256sum` prints for a public key.
std::string openssl_key_fingerprint(const std::string& pem);

std::string test_data_path(const std::string& name);

// The raw RSA private-key operation with the development sealing key's private half (test data):
// the 128-byte padded block that was sealed.
Bytes unseal_block_raw(const uint8_t* block);

// Checks that a sealed block opens to 00 02, non-zero padding, 00 and then exactly `chunk`.
::testing::AssertionResult block_seals(const uint8_t* block, const Bytes& chunk);

// Checks an encrypted package against the file it was made from, with the private key and
// openssl: header (type kept, mode, information field with the company name, body length), every
// sealed block, the copied tail (or the whole body for a package file), the key block and the
// HMAC-MD5 tag keyed with `key`.
::testing::AssertionResult package_matches(const Bytes& package, const Bytes& input, const std::string& mode,
                                           const std::string& company, const Bytes& key);

// A plain tagged file laid out by hand: type, "PLAN", zero information field but for the version,
// the length, the payload and its MD5 trailer (OpenSSL's MD5 of everything before it).
Bytes plain_tagged_bytes(const std::string& type, const Bytes& payload, const std::string& version = "1.0");
// Sets the last 16 bytes of a plain tagged file to OpenSSL's MD5 of the bytes before them.
void renew_md5_trailer(Bytes& file);

// I/O that fails as a full disk does after `write_limit` bytes written in all (every write that
// would pass it, and every write after it), and as a system out of threads does after
// `thread_starts` thread starts. A negative value sets no limit.
class FaultyIo : public IoPolicy {
public:
    explicit FaultyIo(int64_t write_limit, int thread_starts = -1)
        : m_bytes_left(write_limit), m_starts_left(thread_starts)
    {}
    bool may_write(size_t count) override;
    bool may_start_thread() override;
    void lift_write_limit() { m_bytes_left.store(-1); }

private:
    std::atomic<int64_t> m_bytes_left;
    std::atomic<int> m_starts_left;
};

// The messages a test's front end was told, each with its icon, in order.
class MessageLog {
public:
    void record(const std::string& text, MessageIcon icon);
    const std::vector<std::string>& messages() const { return m_messages; }
    const std::vector<MessageIcon>& icons() const { return m_icons; }
    void clear();

private:
    std::vector<std::string> m_messages;
    std::vector<MessageIcon> m_icons;
};

// A front end that records every message, answers the version question with Cancel, and shows
// progress through `presenter` when set.
class RecordingFrontEnd : public FrontEnd, public MessageLog {
public:
    void show_message(const std::string& text, MessageIcon icon = MessageIcon::None) override { record(text, icon); }
    std::optional<std::string> ask_version(const std::string&) override { return std::nullopt; }
    ProgressPresenter* progress() override { return presenter; }

    ProgressPresenter* presenter = nullptr;
};

} // namespace kestrane::test
