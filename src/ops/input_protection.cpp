#include "ops/input_protection.h"

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

std::string overwrite_refusal(const std::string& output)
{
    return format_text("Output would overwrite an input[path:%s]", output.c_str());
}

std::string special_file_refusal(const std::string& output)
{
    return format_text("Output is not a regular file[path:%s]", output.c_str());
}

std::optional<std::string> special_output_refusal(const std::vector<std::string>& outputs)
{
    for (const std::string& output : outputs) {
        if (!output.empty() && !replaceable_by_file(output))
            return special_file_refusal(output);
    }
    return std::nullopt;
}

bool passes(FrontEnd& front, const std::optional<std::string>& refusal)
{
    if (refusal)
        front.show_message(*refusal);
    return !refusal;
}

} // namespace

bool outputs_are_files(FrontEnd& front, const std::vector<std::string>& outputs)
{
    return passes(front, special_output_refusal(outputs));
}

std::optional<std::string> input_overwrite_refusal(const std::vector<std::string>& outputs,
                                                   const std::vector<std::string>& inputs)
{
    if (std::optional<std::string> refusal = special_output_refusal(outputs))
        return refusal;
    for (const std::string& output : outputs) {
        for (const std::string& input : inputs) {
            if (!output.empty() && !input.empty() && same_file(output, input))
                return overwrite_refusal(output);
        }
    }
    return std::nullopt;
}

bool outputs_spare_inputs(FrontEnd& front, const std::vector<std::string>& outputs,
                          const std::vector<std::string>& inputs)
{
    return passes(front, input_overwrite_refusal(outputs, inputs));
}

bool outputs_outside_folder(FrontEnd& front, const std::vector<std::string>& outputs, const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path root = std::filesystem::weakly_canonical(folder, error);
    if (error || !std::filesystem::is_directory(root, error))
        return true;
    for (const std::string& output : outputs) {
        const std::filesystem::path place = std::filesystem::weakly_canonical(output, error);
        if (!error && std::mismatch(root.begin(), root.end(), place.begin(), place.end()).first == root.end())
            return passes(front, overwrite_refusal(output));
    }
    return true;
}

} // namespace kestrane
