#include "ui/company_key_field.h"

#include "common/path_rules.h"
#include "common/program_directory.h"
#include "ops/company_key.h"
#include "ops/remembered_settings.h"
#include "ui/choosers.h"
#include "ui/dialog_data.h"
#include "ui/dialog_front_end.h"

#include <utility>

namespace kestrane {

CompanyKeyField::CompanyKeyField(DialogFrontEnd& front, QString& keyFile, QString& companyName,
                                 std::function<void(bool)> updateData)
    : m_front(front), m_keyFile(keyFile), m_companyName(companyName), m_updateData(std::move(updateData))
{}

void CompanyKeyField::LoadStored(const char* fallbackName)
{
    m_updateData(true);
    m_keyFile = QString::fromStdString(read_key_file_path_setting(join_path(program_directory(), fallbackName)));
    m_updateData(false);
    LoadCompanyName();
}

bool CompanyKeyField::LoadCompanyName()
{
    m_updateData(true);
    const std::optional<std::string> company = company_of_key_file(to_std(m_keyFile));
    if (!company) {
        m_companyName.clear();
        m_updateData(false);
        m_front.show_message("Could not load vid from vid.wrp");
        return false;
    }
    m_companyName = QString::fromStdString(*company);
    m_updateData(false);
    return true;
}

bool CompanyKeyField::Browse(QWidget* chooserParent)
{
    m_updateData(true);
    const std::optional<QString> chosen = choose_company_key_file(m_front, chooserParent, m_keyFile);
    if (!chosen)
        return false;
    m_keyFile = *chosen;
    m_updateData(false);
    return LoadAndStore();
}

bool CompanyKeyField::LoadTyped()
{
    return std::exchange(m_typed, false) && LoadAndStore();
}

bool CompanyKeyField::LoadAndStore()
{
    if (!LoadCompanyName())
        return false;
    // Remembering the choice is a convenience: when the settings cannot be written, the chosen key
    // file is still the one in use.
    write_key_file_path_setting(to_std(m_keyFile));
    return true;
}

} // namespace kestrane
