// Header summaries of arbitrary bytes, in memory and from a file: the six strings come from their
// fixed offsets, missing bytes read as zero, and the two readers agree.

#include "fuzz_support.h"

#include "format/tagged_header_reader.h"

using namespace kestrane;
using namespace kestrane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes bytes(data, data + size);
    const HeaderSummary in_memory = summarize_header(bytes, "in memory");

    FUZZ_REQUIRE(in_memory.path == "in memory", in_memory.path);
    FUZZ_REQUIRE(in_memory.type_tag == cut_text(bytes, 0, 4), in_memory.type_tag);
    FUZZ_REQUIRE(in_memory.attribute_tag == cut_text(bytes, 4, 4), in_memory.attribute_tag);
    FUZZ_REQUIRE(in_memory.model_tag == cut_text(bytes, 8, 4), in_memory.model_tag);
    FUZZ_REQUIRE(in_memory.company_name == cut_text(bytes, 20, 16), in_memory.company_name);
    // The version's two slots, 12..19 and 52..63, read as one text.
    Bytes version_slots(20, 0);
    for (size_t i = 0; i < 8; ++i)
        version_slots[i] = 12 + i < bytes.size() ? bytes[12 + i] : 0;
    for (size_t i = 0; i < 12; ++i)
        version_slots[8 + i] = 52 + i < bytes.size() ? bytes[52 + i] : 0;
    FUZZ_REQUIRE(in_memory.version == cut_text(version_slots, 0, 20), in_memory.version);

    // Only the first 64 bytes count: whatever follows cannot change the summary.
    const Bytes head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(size, 64)));
    const HeaderSummary of_head = summarize_header(head, "in memory");
    FUZZ_REQUIRE(of_head.version == in_memory.version && of_head.company_name == in_memory.company_name,
                 "bytes past the header changed the summary");

    const std::string path = scratch_path("header");
    write_file(path, bytes);
    HeaderSummary from_file;
    FUZZ_REQUIRE(read_header_summary(path, from_file) == 1, "a regular file could not be summarised");
    FUZZ_REQUIRE(from_file.path == path, from_file.path);
    FUZZ_REQUIRE(from_file.type_tag == in_memory.type_tag && from_file.attribute_tag == in_memory.attribute_tag
                     && from_file.model_tag == in_memory.model_tag && from_file.version == in_memory.version
                     && from_file.company_name == in_memory.company_name,
                 "the file and the memory reader disagree");

    // A file that cannot be opened leaves the summary as it was.
    HeaderSummary untouched = in_memory;
    FUZZ_REQUIRE(read_header_summary(scratch_path("absent"), untouched) == -1, "a missing file was read");
    FUZZ_REQUIRE(untouched.type_tag == in_memory.type_tag && untouched.path == in_memory.path,
                 "a failed read changed the summary");
    return 0;
}
