#include "e2e/e2e_support.h"

using namespace kestrane::test;

namespace {

class BatchOnADesktop : public ProgramTest {};

// With a display that answers, -batch still prints every message and opens no window: not the
// version question either (it would wait for a user the timeout does not give it).
TEST_F(BatchOnADesktop, PrintsInsteadOfShowingAndAsksNothing)
{
    const XvfbServer x;
    if (!x.running())
        GTEST_SKIP() << "Xvfb could not be started";
    ProcessOptions options;
    options.working_directory = work().path();
    options.unset = {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.set = {{"DISPLAY", x.display()}, {"XDG_CONFIG_HOME", config().path()}};
    options.timeout_ms = 20000;
    write_text(work().file("brand.conf"), "[brand]");

    const ProcessResult wrapped =
        run_program(program(), {"-batch", "-wrapping", "brand", "-version", "1", "brand.conf"}, options);
    EXPECT_EQ(wrapped.exit_code, 0) << wrapped.standard_error;
    EXPECT_EQ(lines_of(wrapped.standard_output),
              (std::vector<std::string>{"wrapping file success. [path:" + work().file("brand.conf.wrp") + "]",
                                        "Wrapping success"}));
    const ProcessResult unasked = run_program(program(), {"-batch", "-wrapping", "ocx", "brand.conf"}, options);
    EXPECT_EQ(unasked.exit_code, 1);
    EXPECT_EQ(unasked.standard_output, "");
    EXPECT_NE(unasked.standard_error.find("-version is needed"), std::string::npos) << unasked.standard_error;
    const ProcessResult alone = run_program(program(), {"-batch"}, options);
    EXPECT_EQ(alone.exit_code, 2);
    EXPECT_NE(alone.standard_error.find("usage: kestrane"), std::string::npos);
}

} // namespace
