#include "ops/build_identity.h"

#include <gtest/gtest.h>

using namespace kestrane;

TEST(BuildIdentity, VersionTexts)
{
    // The title shows three parts, unsigned 16-bit values each; the About box all four.
    const struct {
        ProgramVersion version;
        const char* title;
        const char* four_parts;
    } cases[] = {
        {{1, 2, 3, 0}, "Kestrane(v1.2.3)", "1.2.3.0"},
        {{2, 10, 0, 7}, "Kestrane(v2.10.0)", "2.10.0.7"},
        {{65535, 40000, 9, 65535}, "Kestrane(v65535.40000.9)", "65535.40000.9.65535"},
        {{}, "Kestrane(v0.0.0)", "0.0.0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.four_parts);
        EXPECT_EQ(version_title(c.version), c.title);
        EXPECT_EQ(four_part_version(c.version), c.four_parts);
    }
}

TEST(BuildIdentity, IsTheProjectVersionAndTheTestsKey)
{
    // KESTRANE_PROJECT_VERSION is CMake's project version, as the build passes it to this test.
    const BuildIdentity identity = build_identity();
    EXPECT_EQ(identity.version_text, KESTRANE_PROJECT_VERSION);
    EXPECT_EQ(four_part_version(identity.version), KESTRANE_PROJECT_VERSION);
#ifndef _WIN32 // there the record is the executable's version resource, which tests have none of
    EXPECT_EQ(four_part_version(running_program_file_version()), KESTRANE_PROJECT_VERSION);
#endif
    EXPECT_TRUE(identity.development_sealing_key); // the tests link the development key
    EXPECT_EQ(identity.fingerprint.size(), 64u);
}
