// Image names and source inspection on arbitrary files: the name is read from its fixed offset,
// the version rules never read past the name, and inspection shows exactly one message on every
// failure and none on success.

#include "fuzz_support.h"

#include "ops/wrapping_jobs.h"
#include "wrap/source_checks.h"
#include "wrap/wrapping.h"

#include <cctype>

using namespace kestrane;
using namespace kestrane::fuzz;

namespace {

bool begins_with_ignoring_case(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// `raw`: the 32 name bytes as the file holds them, 'r' already turned into '.' up to the first zero.
void check_versions(const ImageName& name, const Bytes& raw)
{
    const std::string text(name.data());
    const std::optional<std::string> kernel = kernel_version(name);
    FUZZ_REQUIRE(kernel.has_value() == begins_with_ignoring_case(text, "Linux image HW"), text);
    if (kernel)
        FUZZ_REQUIRE(*kernel == cut_text(raw, 20, 12), *kernel);
    const std::optional<std::string> emergency = emergency_version(name);
    FUZZ_REQUIRE(emergency.has_value() == begins_with_ignoring_case(text, "Emergency image"), text);
    if (emergency)
        FUZZ_REQUIRE(*emergency == cut_text(raw, 18, 14), *emergency);
    if (const std::optional<std::string> boot = bootloader_version(name))
        FUZZ_REQUIRE(text.starts_with("ub") && !boot->empty() && boot->size() <= 11, *boot);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes bytes(data, data + size);
    const std::string path = scratch_path("image");
    write_file(path, bytes);

    ImageName name{};
    name.fill('x');
    const int result = read_image_name(path, name);
    FUZZ_REQUIRE(result == (size > 90 ? 1 : -2), std::to_string(result));
    if (result == 1) {
        FUZZ_REQUIRE(name[32] == '\0', "the name is not terminated");
        Bytes raw(32, 0);
        for (size_t i = 0; i < 32 && 32 + i < bytes.size(); ++i)
            raw[i] = bytes[32 + i];
        for (size_t i = 0; i < 32 && raw[i] != 0; ++i)
            raw[i] = raw[i] == 'r' ? '.' : raw[i];
        FUZZ_REQUIRE(std::equal(raw.begin(), raw.end(), name.begin(), [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }),
                     std::string(name.data()));
        check_versions(name, raw);
    }
    ImageName missing{};
    FUZZ_REQUIRE(read_image_name(scratch_path("absent"), missing) == -1, "a missing image was read");

    CountingFrontEnd front;
    const int type = size > 0 ? static_cast<int>(data[0] % 12) - 1 : 0; // -1 .. 10: out of range too
    const SourceInspection inspection = inspect_wrapping_source(front, type, path);
    FUZZ_REQUIRE(front.shown() == (inspection.ok ? 0u : 1u),
                 std::to_string(front.shown()) + " messages, last: " + front.last());
    if (inspection.ok && (type == kWrapKernel || type == kWrapBootloader || type == kWrapEmergency)) {
        FUZZ_REQUIRE(!inspection.version_editable && inspection.version.size() <= 20, inspection.version);
        FUZZ_REQUIRE(inspection.expected == SourceKind::File, "an image is a file");
    }
    front.reset();
    FUZZ_REQUIRE(check_wrapping_source_kind(front, path, SourceKind::File) && front.shown() == 0, "a file is a file");
    FUZZ_REQUIRE(!check_wrapping_source_kind(front, path, SourceKind::Directory) && front.shown() == 1,
                 "a file is no folder");
    return 0;
}
