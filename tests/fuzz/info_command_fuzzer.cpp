// The -info operation on an arbitrary file, with no key, with a fuzzed key file or with a valid one.
// Input layout: flags (1) | key file length (1) | key file bytes | the file to describe. The
// printed lines must be the labelled header fields, the integrity lines, and what a package file
// or a company key file holds as an in-memory reading of the file finds it; the answer must be
// the one those lines give. The JSON form must parse and give the same answer.

#include "fuzz_support.h"

#include "cli/release_commands.h"
#include "crypt/company_key_file.h"
#include "format/tagged_file.h"
#include "pack/package_listing.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
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

std::string field_line(const std::string& label, const std::string& value)
{
    return value.empty() ? label + ":" : label + ": " + escaped(value);
}

struct Printed {
    std::vector<std::string> lines;
    bool passed = false;
};

Printed info(const std::string& path, bool key_given, const std::string& key_path, InfoFormat format)
{
    char* text = nullptr;
    size_t text_size = 0;
    std::FILE* out = ::open_memstream(&text, &text_size);
    Printed printed;
    printed.passed = run_info_command(path, key_given, key_path, out, format);
    std::fclose(out);
    printed.lines = lines(text, text_size);
    std::free(text);
    return printed;
}

// The entries of a payload held in memory, as the listing must print them; the last line says
// whether they fit.
std::vector<std::string> expected_listing(const Bytes& file, uint64_t offset, uint64_t length, bool region_fits,
                                          bool& all_fit)
{
    const uint64_t end = offset + length;
    if (length < 4) {
        all_fit = false;
        return {"Packages: 0", "Package entries: do not fit the payload"};
    }
    const uint32_t count = u32_at(file, offset);
    std::vector<std::string> expected = {"Packages: " + std::to_string(count)};
    uint64_t at = offset + 4;
    bool fits = true;
    all_fit = true;
    for (uint32_t i = 0; i < count && fits; ++i) {
        fits = end - at >= 4 && u32_at(file, at) <= end - at - 4;
        if (!fits)
            break;
        const uint64_t size = u32_at(file, at);
        const Bytes entry(file.begin() + static_cast<ptrdiff_t>(at + 4),
                          file.begin() + static_cast<ptrdiff_t>(at + 4 + std::min<uint64_t>(size, 140)));
        const HeaderSummary summary = summarize_header(entry, {});
        const uint64_t own = size >= 140 ? u32_at(entry, 136) : 0;
        const bool length_fits = size >= 140
            && ((summary.attribute_tag == "PLAN" && size == own + 156)
                || ((summary.attribute_tag == "ENCR" || summary.attribute_tag == "ENC1") && size == own + 284));
        all_fit = all_fit && length_fits;
        if (i < kMaxListedEntries) {
            expected.push_back("Package " + std::to_string(i + 1) + ":");
            expected.push_back(field_line("  Type", summary.type_tag));
            expected.push_back(field_line("  Attribute", summary.attribute_tag));
            expected.push_back(field_line("  Model", summary.model_tag));
            expected.push_back(field_line("  Version", summary.version));
            expected.push_back(field_line("  CompanyName", summary.company_name));
            expected.push_back("  Size: " + std::to_string(size));
            expected.push_back(length_fits ? "  Length: fits" : "  Length: does not fit");
        }
        at += 4 + size;
    }
    fits = fits && at == end && region_fits;
    if (count > kMaxListedEntries && expected.size() == 1 + 8 * kMaxListedEntries)
        expected[0] += ", the first " + std::to_string(kMaxListedEntries) + " listed";
    all_fit = all_fit && fits;
    expected.push_back(fits ? "Package entries: fit the payload" : "Package entries: do not fit the payload");
    return expected;
}

// Where a package file's payload lies: after the header of a plain one, inside the unsealed body
// of an encrypted one (after its length field for "ENCR", after the whole package file's header
// for "ENC1").
std::vector<std::string> expected_contents(const Bytes& file, const HeaderSummary& summary, bool& all_fit)
{
    if (summary.attribute_tag == "PLAN") {
        const uint64_t length = u32_at(file, 136), room = file.size() - 140;
        return expected_listing(file, 140, std::min(length, room), length <= room, all_fit);
    }
    const uint64_t body = u32_at(file, 136);
    const uint64_t before = summary.attribute_tag == "ENC1" ? 140 : 4;
    if (body < before + 16)
        return expected_listing(file, 140, 0, false, all_fit);
    const uint64_t length = u32_at(file, 140 + (before == 140 ? 136 : 0)), room = body - before - 16;
    return expected_listing(file, 140 + before, std::min(length, room), length == room, all_fit);
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

    const Printed run = info(described, key_given, key_path, InfoFormat::Text);
    const std::vector<std::string>& printed = run.lines;
    const bool passed = run.passed;

    const Printed json = info(described, key_given, key_path, InfoFormat::Json);
    FUZZ_REQUIRE(json.lines.size() == 1 && json.passed == passed, "the JSON answers otherwise");
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json.lines[0]), &error);
    FUZZ_REQUIRE(error.error == QJsonParseError::NoError && document.isObject(), json.lines[0]);
    FUZZ_REQUIRE(document.object().value("passed").toBool() == passed, json.lines[0]);

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
    const HeaderSummary summary = summarize_header(file, path);
    static const std::string kTypeTags[] = {"WEB0", "AON0", "BRD0", "OCX0", "FRM0", "BOT0",
                                            "DOM0", "EMG0", "RAW0", "PKG0", "VID0"};
    if (file.size() < 140
        || std::find(std::begin(kTypeTags), std::end(kTypeTags), summary.type_tag) == std::end(kTypeTags)) {
        FUZZ_REQUIRE(!passed && printed == std::vector<std::string>{"Path[" + path + "] is not a tagged file"},
                     "not a tagged file");
        return 0;
    }
    FUZZ_REQUIRE(printed.size() >= 7, std::to_string(printed.size()) + " lines");
    FUZZ_REQUIRE(printed[0] == "File: described.bin", printed[0]);
    const char* labels[] = {"Type", "Attribute", "Model", "Version", "CompanyName"};
    const std::string* values[] = {&summary.type_tag, &summary.attribute_tag, &summary.model_tag, &summary.version,
                                   &summary.company_name};
    for (size_t i = 0; i < 5; ++i)
        FUZZ_REQUIRE(printed[1 + i] == field_line(labels[i], *values[i]), printed[1 + i]);

    // The checks, then what the file holds.
    size_t next = 7;
    bool checks_pass = true;
    bool readable_body = summary.attribute_tag == "PLAN";
    if (summary.attribute_tag == "PLAN") {
        FUZZ_REQUIRE(starts(printed[6], "MD5 trailer"), printed[6]);
        checks_pass = printed[6] == "MD5 trailer: matches";
    } else if (summary.attribute_tag == "ENCR" || summary.attribute_tag == "ENC1") {
        const bool fits = file.size() >= 284 && file.size() == uint64_t{u32_at(file, 136)} + 284;
        FUZZ_REQUIRE(printed[6]
                         == (fits ? "Body length: " + std::to_string(u32_at(file, 136))
                                  : std::string("Body length: does not fit the file")),
                     printed[6]);
        readable_body = fits;
        checks_pass = fits;
        if (fits && key_given) {
            FUZZ_REQUIRE(printed.size() > 7 && starts(printed[7], "Tag"), "no tag line");
            checks_pass = printed[7] == "Tag: verifies";
            next = 8;
        }
    } else {
        FUZZ_REQUIRE(starts(printed[6], "Integrity"), printed[6]);
    }
    std::vector<std::string> contents;
    bool contents_pass = true;
    if (summary.type_tag == "PKG0" && readable_body)
        contents = expected_contents(file, summary, contents_pass);
    if (summary.type_tag == "VID0" && summary.attribute_tag == "PLAN") {
        CompanyKey held{};
        std::string name;
        contents_pass = read_company_key_file(path, held, name) == 1;
        contents.push_back(contents_pass ? field_line("Key file company", name) : "Key file company: cannot be read");
    }
    FUZZ_REQUIRE(std::vector<std::string>(printed.begin() + static_cast<ptrdiff_t>(next), printed.end()) == contents,
                 "contents");
    FUZZ_REQUIRE(passed == (checks_pass && contents_pass), "the answer");
    return 0;
}
