#include "pack/package_scan.h"

#include "common/paths.h"
#include "common/text_format.h"
#include "crypt/package_checks.h"
#include "common/path_rules.h"
#include "format/tagged_layout.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kestrane {
namespace {

constexpr std::string_view kPackageSuffix = ".enc";

// Ascending without regard to ASCII case; names equal that way fall back to byte order, so the
// order is total and the same on every machine and in every locale.
bool name_before(const std::string& a, const std::string& b)
{
    const auto folded_less = [](char x, char y) {
        return static_cast<unsigned char>(ascii_lower(x)) < static_cast<unsigned char>(ascii_lower(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded_less))
        return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded_less))
        return false;
    return a < b;
}

// Exactly ".enc" at the end, case-sensitive; a name that is only ".enc" counts too.
bool is_package_name(const std::string& name)
{
    return name.ends_with(kPackageSuffix);
}

// Such a file lacks some of the header fields the scan compares.
bool shorter_than_header(const std::string& path)
{
    return QFileInfo(to_qpath(path)).size() < static_cast<qint64>(layout::kSummaryBytes);
}

bool is_duplicate(const HeaderSummary& entry, const HeaderSummary& admitted)
{
    return entry.type_tag == admitted.type_tag
        && (entry.type_tag != tags::kDome || entry.model_tag == admitted.model_tag);
}

// Compares a new entry with the admitted ones and reports the first conflict: the same kind of
// package, or else another company. True when there was one.
bool report_conflict(const HeaderSummary& entry, const std::vector<HeaderSummary>& admitted,
                     std::vector<std::string>& messages)
{
    for (const HeaderSummary& other : admitted) {
        if (is_duplicate(entry, other)) {
            messages.push_back(format_text("Duplicate protect file[%s, %s] major is [%s]", entry.path.c_str(),
                                           other.path.c_str(), entry.type_tag.c_str()));
            return true;
        }
        if (entry.company_name != other.company_name) {
            messages.push_back(format_text("Company name not match file[%s(%s), %s(%s)]", entry.path.c_str(),
                                           entry.company_name.c_str(), other.path.c_str(), other.company_name.c_str()));
            return true;
        }
    }
    return false;
}

// Every test runs for every file, so a file already left out can still raise the messages of the
// later tests.
void consider_package(std::vector<HeaderSummary>& admitted, const std::string& path, std::vector<std::string>& messages)
{
    HeaderSummary entry;
    // A file that cannot be opened keeps all six strings empty, its path too; the mode test then
    // leaves it out.
    if (read_header_summary(path, entry) == 1 && shorter_than_header(path))
        return;
    bool candidate = entry.attribute_tag == tags::kEncryptBasic;
    // Cut short or with bytes appended, a package would travel damaged.
    if (candidate && !package_body_length(path)) {
        messages.push_back(format_text("Body length not match file[%s]", entry.path.c_str()));
        candidate = false;
    }
    if (entry.type_tag == tags::kCompanyKey) {
        messages.push_back(format_text("Could not insert vid file for package file [vid file:%s]", entry.path.c_str()));
        candidate = false;
    }
    if (report_conflict(entry, admitted, messages))
        candidate = false;
    if (candidate)
        admitted.push_back(std::move(entry));
}

} // namespace

std::vector<std::string> list_directory_names(const std::string& directory)
{
    const QString path = to_qpath(directory);
    if (path.isEmpty()) // QDir would take the current directory
        return {};
    const QStringList found = QDir(path)
                                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                 | QDir::NoDotAndDotDot,
                                             QDir::NoSort);
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(found.size()));
    for (const QString& name : found)
        names.push_back(name.toStdString());
    std::sort(names.begin(), names.end(), name_before);
    return names;
}

PackageSources find_package_sources(const std::string& folder)
{
    PackageSources sources;
    if (!is_directory(folder)) {
        sources.messages.push_back(format_text("Path[%s] is invalid", folder.c_str()));
        return sources;
    }
    std::vector<HeaderSummary> entries;
    for (const std::string& name : list_directory_names(folder)) {
        if (is_package_name(name))
            consider_package(entries, join_path(folder, name), sources.messages);
    }
    if (entries.empty())
        sources.messages.push_back("Nothing target enc file");
    sources.packages = std::move(entries);
    return sources;
}

std::optional<std::string> kernel_package_version(const std::vector<HeaderSummary>& entries)
{
    const auto is_firmware = [](const HeaderSummary& entry) { return entry.type_tag == tags::kFirmware; };
    const auto firmware = std::find_if(entries.begin(), entries.end(), is_firmware);
    if (firmware == entries.end())
        return std::nullopt;
    return firmware->version;
}

std::string package_destination(const std::string& folder, const std::string& version)
{
    return join_path(parent_directory(folder), last_path_component(folder) + "-K" + version + ".wrp");
}

} // namespace kestrane
