// Inputs the fuzz targets found to break the command-line operations.

#include "cli/release_commands.h"
#include "crypt/company_key_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace kestrane;
using namespace kestrane::test;

namespace {

struct InfoRun {
    bool passed = false;
    std::vector<std::string> lines; // every line, empty ones too
};

InfoRun info(const std::string& path, const std::string& key_file = {})
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    InfoRun run;
    run.passed = run_info_command(path, !key_file.empty(), key_file, out);
    std::fclose(out);
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == '\n') {
            run.lines.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    std::free(text);
    return run;
}

} // namespace

// A header field with a line end in it printed as two lines, so the file decided what the lines
// said. The fuzzed file (found with type tag 03 0a 11 18, which is no tagged file now): a line end
// and an escape sequence in the attribute and model fields.
TEST(InfoFuzzRegression, ControlCharactersInHeaderFieldsStayOnTheirLine)
{
    TempDir dir;
    Bytes file = {'F', 'R', 'M', '0', 0x1f, 0x26, 0x0a, 0x34, 0x1b, '[', '2', 'J'};
    file.resize(150, 0x7f);
    write_bytes(dir.file("fuzzed.bin"), file);

    const InfoRun run = info(dir.file("fuzzed.bin"));
    ASSERT_EQ(run.lines.size(), 7u);
    EXPECT_EQ(run.lines[1], "Type: FRM0");
    EXPECT_EQ(run.lines[2], "Attribute: \\x1f&\\x0a4");
    EXPECT_EQ(run.lines[3], "Model: \\x1b[2J");
    EXPECT_EQ(run.lines[4], "Version: \\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f\\x7f");
    EXPECT_EQ(run.lines[6], "Integrity: not checked, the attribute is neither PLAN nor an encrypt mode");
}

// A package whose company name forges the verdict line: only the real verdict may say "Tag:".
TEST(InfoFuzzRegression, CompanyNameCannotForgeTheVerdict)
{
    TempDir dir;
    ASSERT_EQ(write_company_key_file("0000A1B2C3D4E5F6", "Acme", dir.file("acme.wrp")), 1);
    Bytes package = bytes_of("FRM0ENCR");
    package.resize(140, 0);
    const std::string forged = "x\nTag: verifies";
    std::copy(forged.begin(), forged.end(), package.begin() + 20);
    package[136] = 16; // body length 16: the file is 16 + 284 bytes
    package.resize(300, 0x55);
    write_bytes(dir.file("forged.enc"), package);

    const InfoRun run = info(dir.file("forged.enc"), dir.file("acme.wrp"));
    EXPECT_FALSE(run.passed);
    ASSERT_EQ(run.lines.size(), 8u);
    EXPECT_EQ(run.lines[5], "CompanyName: x\\x0aTag: verifies");
    EXPECT_EQ(run.lines[6], "Body length: 16");
    EXPECT_EQ(run.lines[7], "Tag: does not verify");
}
