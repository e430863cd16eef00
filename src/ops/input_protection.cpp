#include "ops/input_protection.h"

#include "common/messages.h"
#include "common/paths.h"
#include "common/text_format.h"

#include <QDir>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kestrane {
namespace {

// The full path of a file, for files that do not exist yet; a path Qt cannot name stays as it is.
std::string comparable_path(const std::string& path)
{
    const QString named = to_qpath(path);
    if (named.isEmpty())
        return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(named)).toStdString();
}

bool same_file(const std::string& a, const std::string& b)
{
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error))
        return true;
    return comparable_path(a) == comparable_path(b);
}

bool refuse(const std::string& output)
{
    show_message(format_text("Output would overwrite an input[path:%s]", output.c_str()));
    return false;
}

bool refuse_special_file(const std::string& output)
{
    show_message(format_text("Output is not a regular file[path:%s]", output.c_str()));
    return false;
}

} // namespace

bool outputs_are_files(const std::vector<std::string>& outputs)
{
    for (const std::string& output : outputs) {
        if (!output.empty() && !replaceable_by_file(output))
            return refuse_special_file(output);
    }
    return true;
}

bool outputs_spare_inputs(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs)
{
    if (!outputs_are_files(outputs))
        return false;
    for (const std::string& output : outputs) {
        for (const std::string& input : inputs) {
            if (!output.empty() && !input.empty() && same_file(output, input))
                return refuse(output);
        }
    }
    return true;
}

bool outputs_outside_folder(const std::vector<std::string>& outputs, const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path root = std::filesystem::weakly_canonical(folder, error);
    if (error || !std::filesystem::is_directory(root, error))
        return true;
    for (const std::string& output : outputs) {
        const std::filesystem::path place = std::filesystem::weakly_canonical(output, error);
        if (!error && std::mismatch(root.begin(), root.end(), place.begin(), place.end()).first == root.end())
            return refuse(output);
    }
    return true;
}

} // namespace kestrane
