#pragma once

#include <string>
#include <string_view>

namespace kestrane {

// Where the jobs write when the user names no destination.

// The wrapped file of a source: the source path + ".wrp".
std::string wrapped_file_path(const std::string& source);

// The encrypted package of a file for a company: the file's path, "-", the company name and
// ".enc", whatever the file holds.
std::string encrypted_file_path(const std::string& input, const std::string& company_name);

// The same package in another folder: the folder, then the file's name, "-", the company name and
// ".enc".
std::string encrypted_file_path_in(const std::string& folder, const std::string& input,
                                   const std::string& company_name);

// The encrypted package of a package file: its path, "-", the company name and ".pkg".
std::string encrypted_package_file_path(const std::string& package_file, const std::string& company_name);

// The output the dialogs propose for a file chosen to be encrypted: ".pkg" for a package file (type
// tag "PKG0"), ".enc" for anything else.
std::string proposed_encryption_output(const std::string& input, const std::string& company_name,
                                       std::string_view type_tag);

} // namespace kestrane
