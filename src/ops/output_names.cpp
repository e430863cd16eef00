#include "ops/output_names.h"

#include "crypt/encrypted_package.h"
#include "common/path_rules.h"
#include "format/tagged_layout.h"

namespace kestrane {

std::string wrapped_file_path(const std::string& source)
{
    return source + ".wrp";
}

std::string encrypted_file_path(const std::string& input, const std::string& company_name)
{
    return proposed_package_path(input, company_name, {});
}

std::string encrypted_file_path_in(const std::string& folder, const std::string& input, const std::string& company_name)
{
    return join_path(folder, last_path_component(encrypted_file_path(input, company_name)));
}

std::string encrypted_package_file_path(const std::string& package_file, const std::string& company_name)
{
    return proposed_package_path(package_file, company_name, tags::kPackage);
}

std::string proposed_encryption_output(const std::string& input, const std::string& company_name,
                                       std::string_view type_tag)
{
    return proposed_package_path(input, company_name, type_tag);
}

} // namespace kestrane
