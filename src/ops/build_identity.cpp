#include "ops/build_identity.h"

#include "common/text_format.h"
#include "crypt/sealing_key.h"

#include <kestrane_version.h>

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

namespace kestrane {
namespace {

constexpr ProgramVersion kBuiltVersion{version::kMajor, version::kMinor, version::kPatch, version::kTweak};

#ifdef _WIN32
ProgramVersion from_version_words(DWORD ms, DWORD ls)
{
    return {HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls)};
}

// The fixed part of the executable's version resource (cmake/Windows.cmake compiles it in).
ProgramVersion read_version_resource()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    DWORD unused = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &unused));
    if (info.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        return {};
    void* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(info.data(), L"\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO))
        return {};
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature != VS_FFI_SIGNATURE)
        return {};
    return from_version_words(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}
#endif

} // namespace

BuildIdentity build_identity()
{
    BuildIdentity identity;
    identity.version = kBuiltVersion;
    identity.version_text = std::string(version::kText);
    identity.fingerprint_label = std::string(kSealingKeyFingerprintLabel);
    identity.fingerprint = std::string(sealing_key_fingerprint());
    identity.development_sealing_key = is_development_sealing_key();
    identity.development_key_warning = std::string(kDevelopmentSealingKeyWarning);
    return identity;
}

ProgramVersion running_program_file_version()
{
#ifdef _WIN32
    static const ProgramVersion resource = read_version_resource();
    return resource;
#else
    return kBuiltVersion;
#endif
}

std::string version_title(const ProgramVersion& version)
{
    return format_text("Kestrane(v%u.%u.%u)", version.major_part, version.minor_part, version.patch_part);
}

std::string four_part_version(const ProgramVersion& version)
{
    return format_text("%u.%u.%u.%u", version.major_part, version.minor_part, version.patch_part, version.tweak_part);
}

} // namespace kestrane
