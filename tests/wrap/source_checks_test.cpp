#include "wrap/source_checks.h"

#include "format/tagged_header_reader.h"
#include "ops/wrapping_jobs.h"
#include "support/test_support.h"
#include "wrap/wrapping.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// An image made by mkimage, whose header carries `name` at file offset 32.
std::string make_image(const TempDir& dir, const std::string& name)
{
    static int count = 0;
    const std::string data = dir.file("data");
    write_bytes(data, pattern_bytes(200, 5));
    const std::string image = dir.file("image" + std::to_string(++count));
    const ProcessResult made = run_process("mkimage", {"-A", "arm", "-O", "linux", "-T", "kernel", "-C", "none", "-a",
                                                       "0", "-e", "0", "-n", name, "-d", data, image});
    EXPECT_EQ(made.exit_code, 0) << made.standard_error;
    return image;
}

// Inspects `path` as `type`: the version when accepted, else the message the refusal carries.
std::string inspection_outcome(int type, const std::string& path)
{
    const SourceInspection inspection = inspect_source(type, path);
    if (!inspection.ok)
        return inspection.message.empty() ? "refused without one message" : "refused: " + inspection.message;
    EXPECT_TRUE(inspection.message.empty());
    EXPECT_EQ(inspection.expected, SourceKind::File);
    EXPECT_FALSE(inspection.version_editable);
    return inspection.version;
}

} // namespace

TEST(InspectSource, ImageNamesGiveTheirVersionsOrTheirMessages)
{
    TempDir dir;
    const struct {
        int type;
        std::string name;
        std::string outcome;
    } cases[] = {
        // Characters 20 on are "1r2r3": every lower-case r reads as a dot.
        {kWrapKernel, "Linux image HW v2.0 1r2r3", "1.2.3"},
        {kWrapKernel, "LINUX IMAGE hw-ABCDE7.1", "7.1"},
        // A full 32-byte name has no terminator: the version runs to the end of the field.
        {kWrapKernel, "Linux image HW v2.0 0123456789AB", "0123456789AB"},
        {kWrapKernel, "Linux kernel 5.10", "refused: Invalid firmware file"},
        {kWrapBootloader, "ub2m.15.bin", "15"},
        {kWrapBootloader, "ub2m.007.bin", "7"},
        {kWrapBootloader, "ub2m.17", "17"},
        {kWrapBootloader, "uboot.bin", "refused: Invalid bootloader file"},
        {kWrapBootloader, "ub2m.", "refused: Invalid bootloader file"},
        {kWrapEmergency, "EMERGENCY IMAGE KR2r0r1", "2.0.1"},
        // "Emergency" holds a lower-case r, which has become a dot before the name is compared.
        {kWrapEmergency, "Emergency image KR2.0.1", "refused: Invalid firmware file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inspection_outcome(c.type, make_image(dir, c.name)), c.outcome);
    }
}

TEST(InspectSource, UnreadableAndShortImages)
{
    TempDir dir;
    write_bytes(dir.file("90"), pattern_bytes(90));
    Bytes just_long_enough(91, 0);
    const std::string name = "ub3m.42.bin";
    std::copy(name.begin(), name.end(), just_long_enough.begin() + 32);
    write_bytes(dir.file("91"), just_long_enough);

    EXPECT_EQ(inspection_outcome(kWrapKernel, dir.file("90")), "refused: Failed to get firmware information with error[-2]");
    EXPECT_EQ(inspection_outcome(kWrapEmergency, dir.file("missing")), "refused: Failed to get firmware information with error[-1]");
    EXPECT_EQ(inspection_outcome(kWrapBootloader, dir.file("90")), "refused: Failed to get bootloader information with error[-2]");
    EXPECT_EQ(inspection_outcome(kWrapBootloader, dir.path()), "refused: Failed to get bootloader information with error[-1]");
    EXPECT_EQ(inspection_outcome(kWrapBootloader, dir.file("91")), "42");
}

TEST(InspectSource, KernelVersionGoesIntoTheWrappedFile)
{
    TempDir dir;
    const std::string kernel = make_image(dir, "Linux image HW 2024 1r2r3");
    const SourceInspection inspection = inspect_source(kWrapKernel, kernel);
    ASSERT_EQ(wrap_file(kWrapKernel, inspection.version, kernel, kernel + ".wrp").code, 1);
    HeaderSummary summary;
    ASSERT_EQ(read_header_summary(kernel + ".wrp", summary), 1);
    EXPECT_EQ(summary.type_tag + " " + summary.version, "FRM0 1.2.3");
}

TEST(ReadImageName, NameIsTerminatedAndHasItsLowerCaseRTurnedIntoDots)
{
    TempDir dir;
    ImageName name;
    name.fill('x');
    ASSERT_EQ(read_image_name(make_image(dir, "Rover reader RRr"), name), 1);
    EXPECT_STREQ(name.data(), "Rove. .eade. RR.");
    ASSERT_EQ(read_image_name(make_image(dir, std::string(32, 'r')), name), 1);
    EXPECT_EQ(std::string(name.data()), std::string(32, '.'));
}

TEST(InspectSource, OtherTypesOnlyNameTheKindOfPath)
{
    for (const int type : {0, 1, 2, 3, 6, 7, 9}) {
        const SourceInspection inspection = inspect_source(type, "/no/such/path");
        EXPECT_TRUE(inspection.ok && inspection.version_editable && inspection.message.empty()) << type;
        EXPECT_EQ(inspection.expected, type <= 1 ? SourceKind::Directory : SourceKind::File) << type;
    }
    EXPECT_EQ(inspection_outcome(-1, "/x"), "refused: Invalid file type");
    EXPECT_EQ(inspection_outcome(10, "/x"), "refused: Invalid file type");
}

TEST(CheckSourceKind, DirectoryAndFileMustMatch)
{
    TempDir dir;
    write_bytes(dir.file("brand.ini"), bytes_of("[b]"));
    RecordingFrontEnd recorder;
    EXPECT_TRUE(check_wrapping_source_kind(recorder, dir.path(), SourceKind::Directory));
    EXPECT_TRUE(check_wrapping_source_kind(recorder, dir.file("brand.ini"), SourceKind::File));
    EXPECT_FALSE(check_wrapping_source_kind(recorder, dir.path(), SourceKind::File));
    EXPECT_FALSE(check_wrapping_source_kind(recorder, dir.file("brand.ini"), SourceKind::Directory));
    EXPECT_FALSE(check_wrapping_source_kind(recorder, dir.file("missing"), SourceKind::File));
    EXPECT_EQ(recorder.messages(), (std::vector<std::string>{"Path[" + dir.path() + "] is invalid",
                                                             "Path[" + dir.file("brand.ini") + "] is invalid",
                                                             "Path[" + dir.file("missing") + "] is invalid"}));
}
