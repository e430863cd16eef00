#include "crypt/encrypted_package.h"

#include "common/block_stream.h"
#include "common/progress.h"
#include "crypt/package_fan_out.h"
#include "common/path_rules.h"
#include "format/tagged_layout.h"

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

// The file driver's result for a fan-out failure.
int encrypt_failure(int fan_out_failure)
{
    return fan_out_failure == kPackageSinkFailed ? kEncryptFileFailed : kEncryptBuilderFailed;
}

} // namespace

// The outputs of a run and the fan-out that writes them.
struct PackageOutputs {
    std::vector<std::unique_ptr<AtomicOutputFile>> outputs;
    std::unique_ptr<PackageFanOut> fan_out;
    PackagesOutcome opened;

    PackageOutputs(const std::vector<PackageOrder>& orders, PackageFanOut::ModeForType mode_for_type,
                   PackageFanOut::InputCheck check, IoPolicy& io)
    {
        std::vector<PackageRecipient> recipients;
        for (size_t index = 0; index < orders.size(); ++index) {
            AtomicOutputFile& output =
                *outputs.emplace_back(std::make_unique<AtomicOutputFile>(orders[index].output_path, io));
            if (!output.open()) {
                opened = {kEncryptFileFailed, index};
                return;
            }
            recipients.push_back({orders[index].company_name, orders[index].key,
                                  [&output](const uint8_t* data, size_t count) { return output.write(data, count); }});
        }
        fan_out = std::make_unique<PackageFanOut>(std::move(recipients), std::move(mode_for_type), check, io);
    }

    ~PackageOutputs()
    {
        fan_out.reset(); // its threads write to the outputs: they stop first
    }

    PackagesOutcome finish()
    {
        if (const int finished = fan_out->finish(); finished != 1)
            return {encrypt_failure(finished), fan_out->failed_recipient()};
        std::vector<AtomicOutputFile*> committed;
        for (const auto& output : outputs)
            committed.push_back(output.get());
        if (!commit_together(committed))
            return {kEncryptFileFailed, std::nullopt};
        return {kEncryptOk, std::nullopt};
    }
};

namespace {

// Reads the input after its header into the fan-out, the head through a copy and the rest straight
// into its blocks: kEncryptOk, kEncryptFileFailed or kOperationCancelled.
int stream_input(InputFile& input, PackageFanOut& fan_out, uint64_t left, Progress& progress)
{
    std::vector<uint8_t> head;
    while (const size_t wanted = fan_out.head_bytes_wanted()) {
        head.resize(wanted);
        if (!input.read_exact(head.data(), wanted) || !fan_out.feed(head.data(), wanted))
            return kEncryptFileFailed;
        left -= wanted;
    }
    constexpr StreamResults kResults{kEncryptOk, kEncryptFileFailed, kEncryptFileFailed};
    return stream_blocks(
        input, left, progress, kResults, [&fan_out] { return fan_out.acquire(); },
        [&fan_out](const uint8_t*, size_t count) { return fan_out.submit(count) ? kEncryptOk : kEncryptFileFailed; });
}

} // namespace

PackagesOutcome encrypt_packages(const std::string& input_path, const std::vector<PackageOrder>& orders, bool use_enc1,
                                 IoPolicy& io, ProgressPresenter* presenter)
{
    InputFile input;
    if (!input.open(input_path))
        return {kEncryptFileFailed, std::nullopt};
    const uint64_t n = input.size();
    uint8_t header[layout::kHeaderSize] = {};
    if (input.read_up_to(header, sizeof header) < 0)
        return {kEncryptFileFailed, std::nullopt};
    if (!is_plain_tagged_file(header, n))
        return {kEncryptBuilderFailed, std::nullopt};
    for (size_t index = 0; index < orders.size(); ++index) {
        if (orders[index].company_name.size() > package::kMaxCompanyName)
            return {kEncryptBuilderFailed, index};
    }

    const EncryptMode mode = use_enc1 ? EncryptMode::New : EncryptMode::Basic;
    PackageOutputs packages(
        orders, [mode](std::string_view) { return mode; }, PackageFanOut::InputCheck::Md5Trailer, io);
    if (packages.opened.result != kEncryptOk)
        return packages.opened;
    if (!packages.fan_out->feed(header, sizeof header))
        return {kEncryptBuilderFailed, std::nullopt};
    Progress progress("Encrypting " + last_path_component(input_path), n, presenter);
    if (const int streamed = stream_input(input, *packages.fan_out, n - sizeof header, progress);
        streamed != kEncryptOk)
        return {streamed, std::nullopt};
    return packages.finish();
}

int encrypt_package(const std::string& input_path, const std::string& output_path, const std::string& company_name,
                    const CompanyKey& key, bool use_enc1, IoPolicy& io)
{
    PackageOrder order{company_name, key, output_path};
    const PackagesOutcome outcome = encrypt_packages(input_path, {order}, use_enc1, io);
    cleanse_key(order.key);
    return outcome.result;
}

std::string proposed_package_path(const std::string& input_path, const std::string& company_name,
                                  std::string_view type_tag)
{
    return input_path + "-" + company_name + (type_tag == tags::kPackage ? ".pkg" : ".enc");
}

PackageFollower::PackageFollower(std::vector<PackageOrder> orders, ModeForType mode_for_type, IoPolicy& io)
    : m_packages(
        std::make_unique<PackageOutputs>(orders, std::move(mode_for_type), PackageFanOut::InputCheck::Trusted, io))
{
    for (PackageOrder& order : orders)
        cleanse_key(order.key);
}

PackageFollower::~PackageFollower() = default;

void PackageFollower::observe(const uint8_t* data, size_t count)
{
    if (m_packages->fan_out)
        m_packages->fan_out->feed(data, count);
}

PackagesOutcome PackageFollower::finish()
{
    if (m_packages->opened.result != kEncryptOk)
        return m_packages->opened;
    return m_packages->finish();
}

} // namespace kestrane
