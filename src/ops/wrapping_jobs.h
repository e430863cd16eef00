#pragma once

#include "ops/company_key.h"
#include "ops/encryption_alongside.h"
#include "ops/front_end.h"
#include "ops/run_record.h"
#include "wrap/source_checks.h"

#include <optional>
#include <string>
#include <vector>

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
int wrap_source(FrontEnd& front, const WrapRequest& request, RunRecord* record = nullptr, IoPolicy& io = system_io());

// What a source for wrapping type `type` must be (inspect_source); a failure shows its message.
SourceInspection inspect_wrapping_source(FrontEnd& front, int type, const std::string& source);

// Whether a source is of the kind its wrapping type takes; shows "Path[%s] is invalid" when not.
bool check_wrapping_source_kind(FrontEnd& front, const std::string& source, SourceKind expected);

// The version a kernel, bootloader or emergency image carries in its image name, as its wrapping
// takes it; nothing, after the message that says why, when the image does not qualify.
std::optional<std::string> read_image_version(FrontEnd& front, unsigned type, const std::string& source);

// What follows a wrapping: the encryption of the wrapped file for the company of a company key file.
struct EncryptionRequest {
    std::string key_file;
    // Empty: the wrapped file's path, "-", the key file's company and ".enc".
    std::string output;
};

// A wrapping followed by the encryption of the wrapped file for one company or several. The
// company key files are read once, when the job is made; with usable keys the packages are
// written while the wrapped file is, so that the source is read once.
class WrapThenEncrypt {
public:
    // A record, when given, learns the source, the key files and each output once it is in place.
    WrapThenEncrypt(FrontEnd& front, WrapRequest wrap, EncryptionRequest encryption, RunRecord* record = nullptr,
                    IoPolicy& io = system_io());
    // One package per company, beside the wrapped file: its path, "-", the company and ".enc".
    WrapThenEncrypt(FrontEnd& front, WrapRequest wrap, std::vector<CompanyKeyFile> key_files,
                    RunRecord* record = nullptr, IoPolicy& io = system_io());

    // What reading the company key files gave: 1 when all were read, else the reader's negative
    // code for the first that is not a company key file (key_file_failed() names it).
    int key_file_result() const;
    const std::string& key_file_failed() const;

    // wrap_file's messages and results; kWrapRefused, before anything is written, when the wrapped
    // file or a package would overwrite the source, a company key file or the wrapped file.
    int wrap();
    // After a successful wrap(), for one company: encrypt_wrapped_file's messages and results.
    int encrypt();
    // After a successful wrap(), for every company: encrypt_for_companies's messages and outcome.
    CompaniesEncryption encrypt_all();

private:
    int wrap_alone();
    int wrap_with_package_alongside();
    const CompanyKeyFile* unread_key_file() const;

    FrontEnd& m_front;
    WrapRequest m_wrap;
    std::vector<CompanyOutput> m_companies;
    EncryptionAlongside m_alongside;
    bool m_alongside_ready = false;
    RunRecord* m_record = nullptr;
    IoPolicy& m_io;
};

} // namespace kestrane
