// -info shows what a header holds: on a terminal nothing that would act instead of show, in JSON
// every character exactly.

#include "cli/release_commands.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace kestrane;
using namespace kestrane::test;

namespace {

std::string info_output(const std::string& path, InfoFormat format)
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    run_info_command(path, false, {}, out, format);
    std::fclose(out);
    std::string output(text, size);
    std::free(text);
    return output;
}

// A header laid out by hand (each field at its offset) and a little payload.
Bytes header_bytes(const std::string& type, const std::string& attribute, const std::string& model,
                   const std::string& version, const std::string& company)
{
    Bytes bytes(160, 0);
    const auto put = [&](size_t at, const std::string& text) {
        std::copy(text.begin(), text.end(), bytes.begin() + at);
    };
    put(0, type);
    put(4, attribute);
    put(8, model);
    put(12, version);
    put(20, company);
    return bytes;
}

// `bytes` after their size as the package file's entries have it (32 bits, little-endian).
Bytes le32_then(const Bytes& bytes)
{
    const auto size = static_cast<uint32_t>(bytes.size());
    Bytes all = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16),
                 static_cast<uint8_t>(size >> 24)};
    all.insert(all.end(), bytes.begin(), bytes.end());
    return all;
}

} // namespace

TEST(InfoText, CharactersThatWouldActOnATerminalAreEscaped)
{
    struct Case {
        std::string company, shown;
    };
    // U+FEFF, U+00A0; CSI and NEL as UTF-8 and CSI as a byte; right-to-left override, isolates.
    const std::string bom = "\xef\xbb\xbf", nbsp = "\xc2\xa0", csi = "\xc2\x9b", nel = "\xc2\x85", rlo = "\xe2\x80\xae";
    const std::string lri = "\xe2\x81\xa6", pdi = "\xe2\x81\xa9", lre = "\xe2\x80\xaa";
    const Case cases[] = {
        {"Acme \xc3\xa9\xed\x95\x9c", "Acme \xc3\xa9\xed\x95\x9c"}, // UTF-8 as it is
        {bom + "Acme" + nbsp, bom + "Acme" + nbsp},                 // invisible, yet no control
        {"a\nb\x7f", "a\\x0ab\\x7f"},                               // C0 and DEL
        {csi + "2J" + nel, "\\xc2\\x9b2J\\xc2\\x85"},               // C1 controls
        {std::string("\x9b") + "2J\xff", "\\x9b2J\xff"},            // a C1 byte outside UTF-8; 0xff is none
        {rlo + "emcA", "\\xe2\\x80\\xaeemcA"},                      // reads "Acme"
        {lri + "x" + pdi + lre, "\\xe2\\x81\\xa6x\\xe2\\x81\\xa9\\xe2\\x80\\xaa"},
        {"\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c", "\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xd8\\x9c"}, // LRM, RLM, ALM
        {"\xe2\x80", "\xe2\\x80"}, // a cut sequence: its continuation byte is a C1 byte
    };
    TempDir dir;
    for (const Case& c : cases) {
        write_bytes(dir.file("f.bin"), header_bytes("FRM0", "OTHR", "", "1.0", c.company));
        const std::string output = info_output(dir.file("f.bin"), InfoFormat::Text);
        EXPECT_NE(output.find("\nCompanyName: " + c.shown + "\n"), std::string::npos) << c.shown << "\n" << output;
    }
}

// Every text member holds the field's characters, U+FEFF included; where the bytes are not UTF-8
// each such byte is U+FFFD and "<key>_hex" holds the bytes.
TEST(InfoJson, TextsKeepTheirCharactersAndBytes)
{
    TempDir dir;
    const std::string bom = "\xef\xbb\xbf";
    const std::string header = dir.file(bom + "fw\xc3\xa9.bin");
    write_bytes(header,
                header_bytes("FRM0",
                             "\xff\xfe"
                             "AB",
                             "\xc3\xa9\x80", bom + "1.0", bom + "Acme"));
    const Bytes key = bytes_of("01234567" + bom + "Ac\xffme");
    write_bytes(dir.file("key.wrp"), plain_tagged_bytes("VID0", key));
    const Bytes entry = header_bytes("OCX0", "ENCR", "", "2.\x9b", bom + "Beta");
    Bytes payload = {1, 0, 0, 0}; // one entry: its size, its bytes
    const Bytes sized = le32_then(entry);
    payload.insert(payload.end(), sized.begin(), sized.end());
    write_bytes(dir.file("p.wrp"), plain_tagged_bytes("PKG0", payload));

    // The bytes are looked for as they are: Qt's own JSON reader would drop a leading U+FEFF too.
    const std::string file = info_output(header, InfoFormat::Json);
    const std::string key_file = info_output(dir.file("key.wrp"), InfoFormat::Json);
    const std::string listed = info_output(dir.file("p.wrp"), InfoFormat::Json);
    struct Case {
        const std::string& json;
        std::string key, text, hex; // hex "" for none
    };
    const std::string fffd = "\xef\xbf\xbd";
    const Case cases[] = {
        {file, "file", bom + "fw\xc3\xa9.bin", ""},
        {file, "attribute", fffd + fffd + "AB", "fffe4142"},
        {file, "model", "\xc3\xa9" + fffd, "c3a980"},
        {file, "version", bom + "1.0", ""},
        {file, "company", bom + "Acme", ""},
        {key_file, "key_file_company", bom + "Ac" + fffd + "me", "efbbbf4163ff6d65"},
        {listed, "version", "2." + fffd, "322e9b"},
        {listed, "company", bom + "Beta", ""},
    };
    for (const Case& c : cases) {
        EXPECT_NE(c.json.find("\"" + c.key + "\":\"" + c.text + "\""), std::string::npos) << c.key << "\n" << c.json;
        const size_t hex = c.json.find("\"" + c.key + "_hex\":");
        if (c.hex.empty())
            EXPECT_EQ(hex, std::string::npos) << c.key << "\n" << c.json;
        else
            EXPECT_NE(c.json.find("\"" + c.key + "_hex\":\"" + c.hex + "\""), std::string::npos) << c.key << "\n"
                                                                                                 << c.json;
    }
}
