// Company key files: the reader on arbitrary bytes (it admits exactly the layout and never changes
// its outputs on a refusal), and writer-to-reader round trips of fuzzed keys and names.

#include "fuzz_support.h"

#include "crypt/company_key_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <sys/stat.h>

using namespace kestrane;
using namespace kestrane::fuzz;

namespace {

// What the reader must answer for these bytes, from the layout alone.
int expected_result(const Bytes& bytes)
{
    if (bytes.size() < 4 || Bytes(bytes.begin(), bytes.begin() + 4) != Bytes{'V', 'I', 'D', '0'})
        return -3;
    if (bytes.size() < 8 || Bytes(bytes.begin() + 4, bytes.begin() + 8) != Bytes{'P', 'L', 'A', 'N'})
        return -4;
    if (bytes.size() < 140)
        return -2;
    const uint32_t length = u32_at(bytes, 136);
    if (length < 9 || length > 100 || bytes.size() < 140 + length)
        return -2;
    return 1;
}

std::string to_hex(const Bytes& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const uint8_t byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

void check_reader(const Bytes& bytes)
{
    const std::string path = scratch_path("company.wrp");
    write_file(path, bytes);
    CompanyKey key{1, 2, 3, 4, 5, 6, 7, 8};
    std::string name = "untouched";
    const int result = read_company_key_file(path, key, name);
    const int expected = expected_result(bytes);
    FUZZ_REQUIRE(result == expected, std::to_string(result) + " instead of " + std::to_string(expected));
    if (result != 1) {
        FUZZ_REQUIRE((key == CompanyKey{1, 2, 3, 4, 5, 6, 7, 8}) && name == "untouched",
                     "a refused file changed the outputs");
        return;
    }
    FUZZ_REQUIRE(std::equal(key.begin(), key.end(), bytes.begin() + 140), "key bytes");
    FUZZ_REQUIRE(name == cut_text(bytes, 148, u32_at(bytes, 136) - 8), name);
}

void check_round_trip(FuzzedDataProvider& input)
{
    const Bytes key_bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 8));
    const std::string name = input.ConsumeRandomLengthString(120);
    const std::string path = scratch_path("written.wrp");
    const Bytes previous = {'o', 'l', 'd'};
    write_file(path, previous);

    FUZZ_REQUIRE(write_company_key_file(to_hex(key_bytes), name, path) == 1, "a valid key was not written");
    struct stat info {};
    FUZZ_REQUIRE(::stat(path.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600,
                 "a company key file must be readable by its owner only");
    const Bytes written = read_file(path);
    FUZZ_REQUIRE(written.size() == 156 + 8 + name.size(), "file size");

    CompanyKey key{};
    std::string read_name;
    const int result = read_company_key_file(path, key, read_name);
    if (name.empty() || name.size() > company_key_file::kMaxNameLength) {
        FUZZ_REQUIRE(result == -2, "a payload outside 9..100 bytes was admitted");
        return;
    }
    FUZZ_REQUIRE(result == 1, "a written key file could not be read back");
    Bytes expected_key = key_bytes;
    expected_key.resize(8, 0);
    FUZZ_REQUIRE(std::equal(key.begin(), key.end(), expected_key.begin()), "key changed on the way");
    FUZZ_REQUIRE(read_name == name.substr(0, name.find('\0')), read_name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    check_reader(Bytes(data, data + size));
    FuzzedDataProvider input(data, size);
    check_round_trip(input);
    return 0;
}
