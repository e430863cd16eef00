#include "ops/company_key.h"

#include "crypt/company_key_file.h"

namespace kestrane {

CompanyKeyFile load_company_key_file(const std::string& key_file)
{
    CompanyKeyFile loaded;
    loaded.path = key_file;
    loaded.result = read_company_key_file(key_file, loaded.key, loaded.company_name);
    return loaded;
}

std::optional<std::string> company_of_key_file(const std::string& key_file)
{
    CompanyKeyFile loaded = load_company_key_file(key_file);
    if (!loaded.read())
        return std::nullopt;
    return std::move(loaded.company_name);
}

} // namespace kestrane
