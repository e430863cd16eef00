#pragma once

#include "cli/info_report.h"
#include "common/io_policy.h"
#include "ops/company_key.h"
#include "ops/front_end.h"
#include "ops/run_record.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// The operations of command-line mode. Each tells every outcome to the front end and answers
// whether it reached its success message ("Success encrypt"; "Wrapping success", or with a key
// "Encrypt success").

// The company key files of a run, each read once: those given with -key in their order, then
// those of a -keys folder by name. With more than one -key, or with -keys, the run is one for
// several companies (all or nothing, -dest a folder), whatever the number of key files.
struct CompanyKeys {
    std::vector<CompanyKeyFile> key_files;
    bool several = false;
};

// Reads the company key files. The files of the folder that are not company key files are named,
// "Not a company key file, skipped[path:%s]"; nothing, after "No company key file in folder[path:%s]",
// when the folder holds none or cannot be listed.
std::optional<CompanyKeys> gather_company_keys(FrontEnd& front, const std::vector<std::string>& key_files,
                                               const std::optional<std::string>& key_folder);

// What makes the key files a usage error: two of them name the same company, whose packages would
// have one name ("" when none do).
std::string duplicate_company_problem(const CompanyKeys& keys);

// Encrypts an existing wrapped file for the company of each company key file, into `destination`
// when given (a file for one -key, an existing folder for several companies), else beside the
// file. `raw_arguments` is the command line as typed after the program name, shown when the file
// argument is missing. A record, when given, learns what the run read and wrote.
bool run_encrypt_command(FrontEnd& front, const std::string& file_path, const CompanyKeys& keys,
                         const std::string& raw_arguments, const std::optional<std::string>& destination = {},
                         RunRecord* record = nullptr, IoPolicy& io = system_io());

struct WrapCommand {
    std::string file_path;
    std::string wrapping_word;
    std::optional<std::string> version;     // none: from the image, or asked
    std::optional<CompanyKeys> keys;        // encrypt the wrapped file for these companies as well
    std::optional<std::string> destination; // the wrapped file; none: the file path + ".wrp"
    RunRecord* record = nullptr;            // learns what the run read and wrote
};

// Wraps a file or directory as the type named by the wrapping word, then, with keys, encrypts
// the wrapped file for those companies beside the wrapped file. A version neither given nor read
// from the image is asked of the front end.
bool run_wrap_command(FrontEnd& front, const WrapCommand& command, IoPolicy& io = system_io());

// The operations a build server needs besides wrapping and encrypting. Each answers whether
// everything it did succeeded.

// Prints the header summary of a file, one labelled field a line (its name under "File" first), then its integrity: the MD5
// trailer of a plain tagged file; the body length of an encrypted package and, with a company key
// file, whether its tag verifies; then what it holds (print_info). Everything goes to `out`.
bool run_info_command(const std::string& file_path, bool key_given, const std::string& key_file, std::FILE* out,
                      InfoFormat format = InfoFormat::Text);

struct GenkeyCommand {
    std::string digits; // 12 hexadecimal digits, or "random"
    std::string company;
    std::string destination;
    bool force = false; // replace an existing file
};

// Writes a company key file as the generator dialog does, from 12 key digits or "random" (which
// draws them from the secure generator and prints them to `out` when it is a terminal; otherwise
// a message says they are in the key file only). An existing destination is refused unless forced.
bool run_genkey_command(FrontEnd& front, const GenkeyCommand& command, std::FILE* out, IoPolicy& io = system_io());

// Scans a directory of encrypted packages, packs the admitted ones and, with a company key file,
// encrypts the package file for that company. A record, when given, learns what the run read and wrote.
bool run_pack_command(FrontEnd& front, const std::string& directory, bool version_given, const std::string& version,
                      bool dest_given, const std::string& destination, bool key_given, const std::string& key_file,
                      RunRecord* record = nullptr, IoPolicy& io = system_io());

} // namespace kestrane
