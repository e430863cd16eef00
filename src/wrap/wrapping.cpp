#include "wrap/wrapping.h"

#include "common/paths.h"
#include "common/termination.h"
#include "common/text_format.h"
#include "common/path_rules.h"
#include "format/tagged_layout.h"
#include "wrap/archiver.h"

#include <optional>

namespace kestrane {
namespace {

// The directory types: the archive streamed from the archiver into the wrapped file where the
// archiver can tell its size first; otherwise archived into a temporary archive of this run's own
// beside the destination, which is then wrapped. A termination signal ends this as Cancel does.
int wrap_directory(const std::string& directory, const std::string& destination, const WrappingType& type,
                   const std::string& version, const TaggedFileWriter::Observer& observer, IoPolicy& io,
                   ProgressPresenter* progress)
{
    const TerminationAsCancel cancellable;
    {
        ArchiveStream stream(directory, progress);
        const int started = stream.start();
        if (started != kArchiveNotStreamable) {
            if (started != kWrapOk)
                return started;
            return write_wrapped_stream(stream, stream.size(), "Wrapping " + last_path_component(directory),
                                        destination, type.type_tag, type.model_tag, version, observer, io, progress);
        }
    }
    const TemporaryArchive archive(destination);
    if (!archive.created())
        return kWrapSourceUnreadable;
    if (const int archived = archive_directory(directory, archive.path(), progress); archived != kWrapOk)
        return archived;
    return write_wrapped_file(archive.path(), destination, type.type_tag, type.model_tag, version, observer, io,
                              progress);
}

// The directory types need an existing directory: why a source is not one, or nothing.
std::optional<std::string> non_directory_refusal(const std::string& source)
{
    if (!path_exists(source))
        return format_text("Entered path is invalid\n[%s]", source.c_str());
    if (!is_directory(source))
        return format_text("Entered path is not directory\n[%s]", source.c_str());
    return std::nullopt;
}

} // namespace

const std::array<WrappingType, kWrappingTypeCount>& wrapping_types()
{
    static constexpr std::array<WrappingType, kWrappingTypeCount> types = {{
        {"WebPage(DIR)", "webpage", tags::kWeb, "", true},
        {"AddOn(DIR)", "addon", tags::kAddOn, "", true},
        {"Brand", "brand", tags::kBrand, "", false},
        {"OCX", "ocx", tags::kOcx, "", false},
        {"Kernel", "kernel", tags::kFirmware, "", false},
        {"Bootloader", "bootloader", tags::kBootloader, "", false},
        {"Dome(DOV7720)", "dome7720", tags::kDome, "7720", false},
        {"Dome(DOV7760)", "dome7760", tags::kDome, "7760", false},
        {"Emergency", "emergency", tags::kEmergency, "", false},
        {"RAW type", "raw", tags::kRaw, "", false},
    }};
    return types;
}

Outcome wrap_file(unsigned type, const std::string& version, const std::string& source_path,
                  const std::string& destination_path, const TaggedFileWriter::Observer& observer, IoPolicy& io,
                  ProgressPresenter* progress)
{
    if (source_path.empty())
        return {kWrapRefused, "Select src file"};
    if (version.empty())
        return {kWrapRefused, "Input version"};
    if (version_too_long(version))
        return {kWrapRefused, "Version error"};
    if (type >= kWrappingTypeCount)
        return {kWrapUnknownType, "Invalid file type"};
    const WrappingType& wrapping = wrapping_types()[type];
    int result = kWrapRefused;
    if (wrapping.directory) {
        if (std::optional<std::string> refusal = non_directory_refusal(source_path))
            return {kWrapRefused, std::move(*refusal)};
        result = wrap_directory(source_path, destination_path, wrapping, version, observer, io, progress);
    } else {
        result = write_wrapped_file(source_path, destination_path, wrapping.type_tag, wrapping.model_tag, version,
                                    observer, io, progress);
    }
    if (result < 0)
        return {result, format_text("Fail with error code[%d]", result)};
    return {kWrapOk, format_text("wrapping file success. [path:%s]", destination_path.c_str())};
}

} // namespace kestrane
