#include "common/text_format.h"

#include <gtest/gtest.h>

using namespace kestrane;

TEST(TextFormat, FormatText)
{
    EXPECT_EQ(format_text("Fail with error code[%d]", -2), "Fail with error code[-2]");
    EXPECT_EQ(format_text("Entered path is invalid\n[%s]", "/x"), "Entered path is invalid\n[/x]");
    EXPECT_EQ(format_text("%s", ""), "");
    const std::string long_text(5000, 'a');
    EXPECT_EQ(format_text("[%s]", long_text.c_str()), "[" + long_text + "]");
}
