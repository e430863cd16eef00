#pragma once

#include <optional>
#include <string>

namespace kestrane {

// The persisted values. The per-user profile lives under the organisation "Tev" and the
// application name (on Linux $XDG_CONFIG_HOME/Tev/kestrane.conf); the company key file path lives
// in "Kestrane.ini" in the program directory when the file is there or the directory can be
// written, otherwise beside the profile (an installed program). Every value is read when it is
// needed and written at once; nothing is cached. A writer answers whether the value was stored.
std::string read_source_path_setting();
bool write_source_path_setting(const std::string& path);
int read_encrypt_mode_setting();
bool write_encrypt_mode_setting(int mode);
// The stored company key file path, or `fallback` when none (or an empty one) is stored.
std::string read_key_file_path_setting(const std::string& fallback);
bool write_key_file_path_setting(const std::string& path);

// The name the per-user profile is filed under: the executable's base name.
std::string settings_application_name();

// One private profile file (sections of key=value lines).
class CProfileFile {
public:
    CProfileFile() = default;
    explicit CProfileFile(std::optional<std::string> path) { set_path(std::move(path)); }
    virtual ~CProfileFile();

    // No path empties the held one.
    void set_path(std::optional<std::string> path);
    const std::string& path() const { return m_path; }

    // The value of `key` in `section`, or the default (empty text when there is none); with the
    // section or the key missing the file is not touched.
    std::string read(const std::optional<std::string>& section, const std::optional<std::string>& key,
                     const std::optional<std::string>& default_value = std::nullopt) const;
    // Results of write().
    static constexpr int kWritten = 1;
    static constexpr int kNotWritten = 0;

    // Writes the value (no value: empty text). kNotWritten when the section or the key is missing
    // (nothing is written then) or the file cannot be written; kWritten otherwise.
    int write(const std::optional<std::string>& section, const std::optional<std::string>& key,
              const std::optional<std::string>& value);

private:
    std::string m_path;
};

} // namespace kestrane
