// The package source scan over a folder of fuzzed files, then packing what it admitted. Input
// layout: count (1), then per entry: flags (1: ".enc" suffix, a folder, a FIFO) | name length (1) |
// name | content length (2, LE) | content; at the end: version length (1) | version. The admitted
// entries and the number of messages are compared with the scan rules applied here to the bytes on
// disk; the package file is checked entry by entry and against an MD5 of its own; a failed packing
// changes nothing.

#include "fuzz_support.h"

#include "common/path_rules.h"
#include "format/tagged_header_reader.h"
#include "pack/package_file.h"
#include "pack/package_scan.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

using namespace kestrane;
using namespace kestrane::fuzz;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    Bytes bytes(size_t count)
    {
        count = std::min(count, size - at);
        Bytes taken(data + at, data + at + count);
        at += count;
        return taken;
    }
};

struct Admitted {
    std::string name;
    std::string type, model, version, company;
};

// The scan's rules applied to the folder as it is on disk.
std::vector<Admitted> expected_entries(const std::string& folder, const std::vector<std::string>& names,
                                       size_t& messages)
{
    std::vector<Admitted> admitted;
    for (const std::string& name : names) {
        if (!name.ends_with(".enc"))
            continue;
        const std::string path = folder + "/" + name;
        struct stat info {};
        bool readable = ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        Bytes bytes;
        if (readable)
            bytes = read_file(path, &readable);
        if (readable && bytes.size() < 64)
            continue;
        const Admitted entry{name, cut_text(bytes, 0, 4), cut_text(bytes, 8, 4), {}, cut_text(bytes, 20, 16)};
        bool candidate = cut_text(bytes, 4, 4) == "ENCR";
        // An encrypted package is its 140-byte header, the body its length field names, a 128-byte
        // key block and a 16-byte tag: 284 bytes beside the body.
        if (candidate && (bytes.size() < 140 || bytes.size() != uint64_t{u32_at(bytes, 136)} + 284)) {
            ++messages;
            candidate = false;
        }
        if (entry.type == "VID0") {
            ++messages;
            candidate = false;
        }
        for (const Admitted& other : admitted) {
            const bool duplicate = entry.type == other.type && (entry.type != "DOM0" || entry.model == other.model);
            if (duplicate || entry.company != other.company) {
                ++messages;
                candidate = false;
                break;
            }
        }
        if (candidate)
            admitted.push_back(entry);
    }
    return admitted;
}

void check_package_file(const std::string& path, const std::string& folder, const std::vector<std::string>& names,
                        const std::string& version)
{
    const Bytes package = read_file(path);
    FUZZ_REQUIRE(package.size() >= 160 && std::memcmp(package.data(), "PKG0PLAN", 8) == 0, "package header");
    const size_t first = std::min<size_t>(8, version.size());
    FUZZ_REQUIRE(std::memcmp(package.data() + 12, version.data(), first) == 0
                     && std::memcmp(package.data() + 52, version.data() + first, version.size() - first) == 0,
                 "version slots");
    const uint32_t length = u32_at(package, 136);
    FUZZ_REQUIRE(package.size() == 156 + uint64_t{length}, "length field");
    FUZZ_REQUIRE(u32_at(package, 140) == names.size(), "entry count");
    size_t at = 144;
    for (const std::string& name : names) {
        const Bytes file = read_file(folder + "/" + name);
        FUZZ_REQUIRE(u32_at(package, at) == file.size(), "entry size of " + name);
        FUZZ_REQUIRE(std::equal(file.begin(), file.end(), package.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                     "entry bytes of " + name);
        at += 4 + file.size();
    }
    FUZZ_REQUIRE(at == 140 + uint64_t{length}, "payload length");
    uint8_t digest[16];
    FUZZ_REQUIRE(EVP_Digest(package.data(), package.size() - 16, digest, nullptr, EVP_md5(), nullptr) == 1, "MD5");
    FUZZ_REQUIRE(std::memcmp(digest, package.data() + package.size() - 16, 16) == 0, "MD5 trailer");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string folder = scratch_path("release");
    const std::string out_folder = scratch_path("out");
    ::mkdir(folder.c_str(), 0700);
    ::mkdir(out_folder.c_str(), 0700);
    empty_directory(folder);
    empty_directory(out_folder);

    Reader in{data, size};
    const size_t count = in.byte() % 9;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t flags = in.byte();
        const Bytes raw_name = in.bytes(in.byte() % 16);
        std::string name;
        for (const uint8_t c : raw_name)
            name += c == '/' || c == 0 ? '_' : static_cast<char>(c);
        if (flags & 1)
            name += ".enc";
        if (name.empty() || name == "." || name == "..")
            name = "f" + name;
        const size_t low = in.byte();
        const size_t content_length = (low | size_t{in.byte()} << 8) % 2048;
        const Bytes content = in.bytes(content_length);
        if (flags & 2)
            ::mkdir((folder + "/" + name).c_str(), 0700);
        else if (flags & 4) // a FIFO: reading it would wait for a writer
            ::mkfifo((folder + "/" + name).c_str(), 0600);
        else if (!file_exists(folder + "/" + name))
            write_file(folder + "/" + name, content);
    }
    const Bytes version_bytes = in.bytes(in.byte() % 32);
    const std::string version(version_bytes.begin(), version_bytes.end());

    const PackageSources sources = find_package_sources(folder);
    const size_t messages_shown = sources.messages.size();
    const std::string last_message = sources.messages.empty() ? "" : sources.messages.back();
    const std::vector<HeaderSummary> entries = sources.packages.value_or(std::vector<HeaderSummary>{});

    const std::vector<std::string> listed = list_directory_names(folder);
    for (size_t i = 1; i < listed.size(); ++i)
        FUZZ_REQUIRE(listed[i - 1] != listed[i], "a name listed twice");
    size_t expected_messages = 0;
    const std::vector<Admitted> expected = expected_entries(folder, listed, expected_messages);
    FUZZ_REQUIRE(entries.size() == expected.size(),
                 std::to_string(entries.size()) + " admitted instead of " + std::to_string(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const HeaderSummary& entry = entries[i];
        FUZZ_REQUIRE(entry.path == folder + "/" + expected[i].name, entry.path);
        FUZZ_REQUIRE(entry.type_tag == expected[i].type && entry.attribute_tag == "ENCR"
                         && entry.company_name == expected[i].company,
                     "entry " + entry.path);
    }
    if (expected.empty()) {
        FUZZ_REQUIRE(last_message == "Nothing target enc file", last_message);
        FUZZ_REQUIRE(messages_shown == expected_messages + 1, std::to_string(messages_shown) + " messages");
        return 0;
    }
    FUZZ_REQUIRE(messages_shown == expected_messages, std::to_string(messages_shown) + " messages");
    FUZZ_REQUIRE(entries.front().company_name == expected.front().company, entries.front().company_name);
    const std::string destination_proposed = package_destination(folder, "");
    FUZZ_REQUIRE(destination_proposed == join_path(parent_directory(folder), "release-K.wrp"), destination_proposed);

    const bool has_firmware = std::any_of(expected.begin(), expected.end(), [](const Admitted& a) { return a.type == "FRM0"; });
    const std::optional<std::string> kernel_version = kernel_package_version(entries);
    FUZZ_REQUIRE(kernel_version.has_value() == has_firmware, "kernel_package_version");
    std::string package_version = kernel_version.value_or("");
    if (!version.empty() || !has_firmware)
        package_version = version;

    std::vector<std::string> names;
    for (const Admitted& entry : expected)
        names.push_back(entry.name);
    const std::string destination = out_folder + "/package.wrp";
    const Bytes previous = {'o', 'l', 'd'};
    write_file(destination, previous);
    const int packed = pack_files(package_version, folder, names, destination);
    FUZZ_REQUIRE(entry_count(out_folder) == 1, "something was left beside the package");
    if (package_version.empty() || package_version.size() > 20) {
        FUZZ_REQUIRE(packed == (package_version.empty() ? kPackVersionMissing : kPackVersionTooLong),
                     std::to_string(packed));
        FUZZ_REQUIRE(read_file(destination) == previous, "a refused packing changed the destination");
        return 0;
    }
    FUZZ_REQUIRE(packed == kPackOk, "pack_files " + std::to_string(packed));
    check_package_file(destination, folder, names, package_version);
    return 0;
}
