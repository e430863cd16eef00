// The -info operation on an arbitrary file, with no key, with a fuzzed key file or with a valid one.
// Input layout: flags (1) | key file length (1) | key file bytes | the file to describe. The
// printed lines must be the labelled header fields and one integrity line, and the answer must be
// the one that line gives.

#include "fuzz_support.h"

#include "cli/release_commands.h"
#include "crypt/company_key_file.h"
#include "format/tagged_file.h"

#include <cstdio>
#include <cstdlib>

using namespace kestrane;
using namespace kestrane::fuzz;

namespace {

std::vector<std::string> lines(const char* text, size_t size)
{
    std::vector<std::string> found;
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == '\n') {
            found.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    FUZZ_REQUIRE(line.empty(), "the output does not end with a line end");
    return found;
}

// A header field as -info prints it: control characters as \xNN.
std::string escaped(const std::string& value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            text += std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
        else
            text += c;
    }
    return text;
}

bool starts(const std::string& line, const std::string& label)
{
    return line == label + ":" || line.starts_with(label + ": ");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t flags = data[0];
    const size_t key_length = std::min<size_t>(data[1], size - 2);
    const std::string key_path = scratch_path("company.wrp");
    const std::string path = scratch_path("described.bin");
    const bool key_given = flags & 1;
    if (flags & 2)
        FUZZ_REQUIRE(write_company_key_file("0000A1B2C3D4E5F6", "Acme", key_path) == 1, "key file");
    else
        write_file(key_path, data + 2, key_length);
    const Bytes file(data + 2 + key_length, data + size);
    write_file(path, file);
    const std::string described = flags & 4 ? scratch_path("absent") : path;

    char* text = nullptr;
    size_t text_size = 0;
    std::FILE* out = ::open_memstream(&text, &text_size);
    const bool passed = run_info_command(described, key_given, key_path, out);
    std::fclose(out);
    const std::vector<std::string> printed = lines(text, text_size);
    std::free(text);

    CompanyKey key{};
    std::string company;
    if (key_given && read_company_key_file(key_path, key, company) != 1) {
        FUZZ_REQUIRE(!passed && printed.size() == 1 && printed[0] == "invalid company key file[file:" + key_path + "]",
                     "an invalid key file");
        return 0;
    }
    if (described != path) {
        FUZZ_REQUIRE(!passed && printed.size() == 1 && printed[0] == "Path[" + described + "] is invalid", "absent");
        return 0;
    }
    FUZZ_REQUIRE(printed.size() == 7 || printed.size() == 8, std::to_string(printed.size()) + " lines");
    FUZZ_REQUIRE(printed[0] == "File: described.bin", printed[0]);
    const HeaderSummary summary = summarize_header(file, path);
    const char* labels[] = {"Type", "Attribute", "Model", "Version", "CompanyName"};
    const std::string* values[] = {&summary.type_tag, &summary.attribute_tag, &summary.model_tag, &summary.version,
                                   &summary.company_name};
    for (size_t i = 0; i < 5; ++i) {
        const std::string expected = values[i]->empty() ? std::string(labels[i]) + ":"
                                                       : std::string(labels[i]) + ": " + escaped(*values[i]);
        FUZZ_REQUIRE(printed[1 + i] == expected, printed[1 + i]);
    }
    const std::string& last = printed.back();
    if (summary.attribute_tag == "PLAN") {
        FUZZ_REQUIRE(printed.size() == 7 && starts(last, "MD5 trailer") && passed == (last == "MD5 trailer: matches"),
                     last);
    } else if (summary.attribute_tag == "ENCR" || summary.attribute_tag == "ENC1") {
        const bool fits = file.size() >= 284 && file.size() == uint64_t{u32_at(file, 136)} + 284;
        FUZZ_REQUIRE(printed[6] == (fits ? "Body length: " + std::to_string(u32_at(file, 136))
                                         : std::string("Body length: does not fit the file")),
                     printed[6]);
        if (fits && key_given)
            FUZZ_REQUIRE(printed.size() == 8 && starts(last, "Tag") && passed == (last == "Tag: verifies"), last);
        else
            FUZZ_REQUIRE(printed.size() == 7 && passed == fits, last);
    } else {
        FUZZ_REQUIRE(printed.size() == 7 && passed && starts(last, "Integrity"), last);
    }
    return 0;
}
