// Inputs the fuzz targets found to break the format readers.

#include "format/tagged_header_reader.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrane;

// An empty header (here: an empty vector, whose data pointer is null) was copied with memcpy from
// a null pointer; the sanitizer build stops on that.
TEST(HeaderSummaryFuzzRegression, EmptyHeaderReadsAsAllZero)
{
    const std::vector<uint8_t> nothing;
    for (const HeaderSummary& summary : {summarize_header(nothing, "empty"), summarize_header({}, "empty")}) {
        EXPECT_EQ(summary.path, "empty");
        EXPECT_EQ(summary.type_tag, "");
        EXPECT_EQ(summary.attribute_tag, "");
        EXPECT_EQ(summary.model_tag, "");
        EXPECT_EQ(summary.version, "");
        EXPECT_EQ(summary.company_name, "");
    }
}
