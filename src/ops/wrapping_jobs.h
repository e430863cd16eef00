#pragma once

#include "ops/company_key.h"
#include "ops/encryption_alongside.h"
#include "ops/run_record.h"

#include <optional>
#include <string>

namespace kestrane {

struct WrapRequest {
    unsigned type = 0; // index into wrapping_types()
    std::string version;
    std::string source;
    std::string destination; // the wrapped file
};

// Wraps a source: wrap_file's checks, messages and results. A destination that is the source
// itself is refused first (kWrapRefused, after the message). A record, when given, learns the
// source and the wrapped file.
int wrap_source(const WrapRequest& request, RunRecord* record = nullptr);

// The version a kernel, bootloader or emergency image carries in its image name, as its wrapping
// takes it; nothing, after the message that says why, when the image does not qualify.
std::optional<std::string> read_image_version(unsigned type, const std::string& source);

// What follows a wrapping: the encryption of the wrapped file for the company of a company key file.
struct EncryptionRequest {
    std::string key_file;
    // Empty: the wrapped file's path, "-", the key file's company and ".enc".
    std::string output;
};

// A wrapping followed by the encryption of the wrapped file. The company key file is read once,
// when the job is made; with a usable key the package is written while the wrapped file is, so
// that the source is read once.
class WrapThenEncrypt {
public:
    // A record, when given, learns the source, the key file and each output once it is in place.
    WrapThenEncrypt(WrapRequest wrap, EncryptionRequest encryption, RunRecord* record = nullptr);

    // What reading the company key file gave: 1 when it was read, the reader's negative code when
    // it is not a company key file.
    int key_file_result() const { return m_key_file.result; }

    // wrap_file's messages and results; kWrapRefused, before anything is written, when the wrapped
    // file or the package would overwrite the source, the company key file or the wrapped file.
    int wrap();
    // After a successful wrap(): encrypt_wrapped_file's messages and results.
    int encrypt();

private:
    int wrap_alone();
    int wrap_with_package_alongside();

    WrapRequest m_wrap;
    CompanyKeyFile m_key_file;
    std::string m_output;
    EncryptionAlongside m_alongside;
    bool m_alongside_ready = false;
    RunRecord* m_record = nullptr;
};

} // namespace kestrane
