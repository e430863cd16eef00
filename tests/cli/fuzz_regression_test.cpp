// Inputs the fuzz targets found to break the command-line operations, and more of their kind.

#include "cli/command_operations.h"
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

// Characters that act on a terminal instead of showing: a company name that clears the screen
// (CSI) or reads backwards (right-to-left override), as UTF-8 or as a raw byte.
TEST(InfoFuzzRegression, CharactersThatWouldActOnATerminalAreEscaped)
{
    const std::string bom = "\xef\xbb\xbf", csi = "\xc2\x9b", nel = "\xc2\x85", rlo = "\xe2\x80\xae";
    const std::string lri = "\xe2\x81\xa6", pdi = "\xe2\x81\xa9", lre = "\xe2\x80\xaa";
    const std::pair<std::string, std::string> cases[] = {
        {"Acme \xc3\xa9\xed\x95\x9c" + bom, "Acme \xc3\xa9\xed\x95\x9c" + bom}, // UTF-8, U+FEFF too
        {"a\nb\x7f", "a\\x0ab\\x7f"},                                           // C0 and DEL
        {csi + "2J" + nel, "\\xc2\\x9b2J\\xc2\\x85"},                           // C1
        {std::string("\x9b") + "2J\xff", "\\x9b2J\xff"},                        // a C1 byte outside UTF-8; 0xff is none
        {rlo + "emcA", "\\xe2\\x80\\xaeemcA"},
        {lri + pdi + lre + "\xe2\x80\x8f\xd8\x9c",
         "\\xe2\\x81\\xa6\\xe2\\x81\\xa9\\xe2\\x80\\xaa\\xe2\\x80\\x8f\\xd8\\x9c"},
        {"\xe2\x80", "\xe2\\x80"}, // a cut sequence: its continuation byte is a C1 byte
    };
    TempDir dir;
    for (const auto& [company, shown] : cases) {
        Bytes file = bytes_of("FRM0OTHR");
        file.resize(160, 0);
        std::copy(company.begin(), company.end(), file.begin() + 20);
        write_bytes(dir.file("f.bin"), file);
        const InfoRun run = info(dir.file("f.bin"));
        ASSERT_EQ(run.lines.size(), 7u) << shown;
        EXPECT_EQ(run.lines[5], "CompanyName: " + shown);
    }
}
