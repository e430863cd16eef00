// The -info operation on an arbitrary file, with no key, with a fuzzed key file or with a valid one.
// Input layout: flags (1) | key file length (1) | key file bytes | the file to describe. The
// printed lines must be the labelled header fields, the integrity lines, and what a package file
// or a company key file holds; the answer must be the one those lines give. The JSON form must
// parse and give the same answer.

#include "fuzz_support.h"

#include "cli/command_operations.h"
#include "crypt/company_key_file.h"
#include "format/tagged_header_reader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

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

// A header field as -info prints it: the bytes of C0 and C1 controls, DEL and the bidirectional
// controls as \xNN, and so a byte 0x80-0x9F outside a UTF-8 character (as Qt decodes them).
std::string escaped(const std::string& value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0, n = 1; i < value.size(); i += n) {
        uint c = static_cast<unsigned char>(value[i]); // a byte outside UTF-8 stands for itself
        for (n = c < 0x80 ? 1 : 4; n > 1; --n) {
            const QString decoded = QString::fromStdString(value.substr(i, n));
            if (i + n <= value.size() && decoded.toUcs4().size() == 1 && decoded.toStdString() == value.substr(i, n)) {
                c = decoded.toUcs4()[0];
                break;
            }
        }
        const bool acts = c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x61c || c == 0x200e || c == 0x200f
            || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
        for (size_t k = i; k < i + n; ++k) {
            const auto byte = static_cast<unsigned char>(value[k]);
            text += acts ? std::string("\\x") + digits[byte >> 4] + digits[byte & 15] : std::string(1, value[k]);
        }
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

// A package listing: "Packages: N", a block of eight lines for each package listed, the verdict
// on the entries last. True when it says that everything fits.
bool listing_fits(const std::vector<std::string>& lines)
{
    FUZZ_REQUIRE(lines.size() >= 2 && lines[0].starts_with("Packages: ") && (lines.size() - 2) % 8 == 0, "listing");
    bool fits = lines.back() == "Package entries: fit the payload";
    FUZZ_REQUIRE(starts(lines.back(), "Package entries"), lines.back());
    for (size_t i = 1; i + 1 < lines.size(); i += 8) {
        FUZZ_REQUIRE(lines[i] == "Package " + std::to_string(i / 8 + 1) + ":" && starts(lines[i + 6], "  Size")
                         && starts(lines[i + 7], "  Length"),
                     lines[i]);
        fits = fits && lines[i + 7] == "  Length: fits";
    }
    return fits;
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
    const std::vector<std::string> contents(printed.begin() + static_cast<ptrdiff_t>(next), printed.end());
    bool contents_pass = true;
    if (summary.type_tag == "PKG0" && readable_body) {
        contents_pass = listing_fits(contents);
    } else if (summary.type_tag == "VID0" && summary.attribute_tag == "PLAN") {
        CompanyKey held{};
        std::string name;
        contents_pass = read_company_key_file(path, held, name) == 1;
        FUZZ_REQUIRE(contents
                         == std::vector<std::string>{contents_pass ? field_line("Key file company", name)
                                                                   : "Key file company: cannot be read"},
                     "key file company");
    } else {
        FUZZ_REQUIRE(contents.empty(), contents.front());
    }
    FUZZ_REQUIRE(passed == (checks_pass && contents_pass), "the answer");
    return 0;
}
