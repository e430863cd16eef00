#pragma once

#include <string>

namespace kestrane {

// "ENC1" is used for a "RAW0" input (whatever its case) or when the stored setting asks for it.
bool use_new_encrypt_mode(const std::string& type_tag);

// Encrypts one file for the company of a company key file, with its messages:
// "Success to encrypt file. [path:%s]" and 1, or a failure message and -1.
int encrypt_wrapped_file(const std::string& key_file, const std::string& input_path,
                         const std::string& output_path);

} // namespace kestrane
