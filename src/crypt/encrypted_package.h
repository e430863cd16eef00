#pragma once

// Encrypting files into encrypted packages. The encoder (the package layout) and the checks of a
// written package come with this header.
#include "common/file_io.h"
#include "common/io_policy.h"
#include "common/non_copyable.h"
#include "common/progress.h"
#include "crypt/package_checks.h"
#include "crypt/package_encoder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// Results of encrypt_package and PackageFollower::finish.
inline constexpr int kEncryptOk = 1;
// The builder refused the input (see kPackageRefused) or sealing failed; no output.
inline constexpr int kEncryptBuilderFailed = -1;
// The input cannot be opened or read, or the output cannot be created or written; nothing is
// left then, an existing output is untouched.
inline constexpr int kEncryptFileFailed = -2;
// And kOperationCancelled (common/progress.h) when the user cancelled encrypt_package's work.

// Encrypts the file at `input_path` into `output_path` for the company `company_name` with its
// key, streaming it (bounded memory, each input byte read once). An input that does not hold together
// (not exactly 156 + L bytes, or its MD5 trailer does not match) is refused: kEncryptBuilderFailed.
int encrypt_package(const std::string& input_path, const std::string& output_path, const std::string& company_name,
                    const CompanyKey& key, bool use_enc1, IoPolicy& io = system_io());

// One package of a run that encrypts one input for several companies.
struct PackageOrder {
    std::string company_name;
    CompanyKey key{};
    std::string output_path;
};

// How a run for several companies ended: kEncryptOk, kEncryptBuilderFailed, kEncryptFileFailed or
// kOperationCancelled, and the order whose package failed when the failure was its own.
struct PackagesOutcome {
    int result = kEncryptOk;
    std::optional<size_t> failed_order;
};

// encrypt_package for several companies at once: the input is read and checked once, the packages
// are written side by side, each with its own key. All or nothing: every package is committed only
// when all are complete; on any failure none is, and existing outputs stay as they were. Long work
// is shown by `progress` (none: not shown).
PackagesOutcome encrypt_packages(const std::string& input_path, const std::vector<PackageOrder>& orders, bool use_enc1,
                                 IoPolicy& io = system_io(), ProgressPresenter* progress = nullptr);

// The output an encryption proposes for an input: the input path, "-", the company name and ".enc"
// (".pkg" for a package file, type tag "PKG0").
std::string proposed_package_path(const std::string& input_path, const std::string& company_name,
                                  std::string_view type_tag);

struct PackageOutputs;

// Encrypts a plain tagged file for several companies while it is being written: fed every byte
// of the file in order (a TaggedFileWriter's observer), it writes the encrypted packages beside it,
// so that wrapping and encrypting read the source once. The file's own writer computes its trailer,
// so the follower trusts it rather than hashing it a second time.
class PackageFollower : NonCopyable {
public:
    using ModeForType = std::function<EncryptMode(std::string_view type_tag)>;

    // Throws what BlockPipeline throws.
    PackageFollower(std::vector<PackageOrder> orders, ModeForType mode_for_type, IoPolicy& io = system_io());
    ~PackageFollower();

    void observe(const uint8_t* data, size_t count);
    // Completes the packages after the whole file went by, all or none. Nothing is left behind on
    // failure.
    PackagesOutcome finish();

private:
    std::unique_ptr<PackageOutputs> m_packages;
};

} // namespace kestrane
