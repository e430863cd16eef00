#include "common/messages.h"
#include "common/text_format.h"

#include <gtest/gtest.h>

using namespace kestrane;

TEST(Messages, RecorderSeesMessagesInOrderAndRestoresThePresenter)
{
    std::vector<std::string> outer_seen;
    install_message_presenter([&](const std::string& text, MessageIcon) { outer_seen.push_back(text); });
    {
        MessageRecorder recorder;
        show_message("first");
        show_message("second", MessageIcon::Exclamation);
        EXPECT_EQ(recorder.messages(), (std::vector<std::string>{"first", "second"}));
        EXPECT_EQ(recorder.icons().back(), MessageIcon::Exclamation);
    }
    show_message("after");
    EXPECT_EQ(outer_seen, std::vector<std::string>{"after"});
    install_message_presenter({});
    show_message("discarded"); // no presenter: nothing happens
}

TEST(Messages, FormatText)
{
    EXPECT_EQ(format_text("Fail with error code[%d]", -2), "Fail with error code[-2]");
    EXPECT_EQ(format_text("Entered path is invalid\n[%s]", "/x"), "Entered path is invalid\n[/x]");
    EXPECT_EQ(format_text("%s", ""), "");
    const std::string long_text(5000, 'a');
    EXPECT_EQ(format_text("[%s]", long_text.c_str()), "[" + long_text + "]");
}
