#pragma once

// The ids of the dialogs' controls, their object names: the dialogs name their controls with them
// and the tests find the controls by them. An id is the dialog's own; dialogs reuse numbers.
namespace kestrane::ids {

// Answers common to dialogs: the default and the cancelling button.
inline constexpr const char* kOk = "1";
inline constexpr const char* kCancel = "2";

namespace main_dialog {
inline constexpr const char* kVersionEdit = "1004"; // wrapping group
inline constexpr const char* kSourceEdit = "1007";
inline constexpr const char* kDestEdit = "1008";
inline constexpr const char* kEncryptButton = "1009";
inline constexpr const char* kBrowseSourceButton = "1010";
inline constexpr const char* kWrapAndEncryptButton = "1012";
inline constexpr const char* kCompanyEdit = "1017";
inline constexpr const char* kKeyFileEdit = "1018";
inline constexpr const char* kBrowseKeyFileButton = "1019";
inline constexpr const char* kTypeCombo = "1023";
inline constexpr const char* kToggleButton = "1024";
inline constexpr const char* kSourceVersionEdit = "1025";
inline constexpr const char* kWrapButton = "1026";
inline constexpr const char* kBrowseSourcePathButton = "1027";
inline constexpr const char* kSourcePathEdit = "1029";
inline constexpr const char* kCloseButton = "1003";
inline constexpr const char* kModeLabel = "1033";
inline constexpr const char* kAboutCommand = "16";
inline constexpr const char* kExitCommand = "32771";
inline constexpr const char* kGenerateKeyCommand = "32772";
inline constexpr const char* kPackagingCommand = "32773";
inline constexpr const char* kSettingCommand = "32776";
} // namespace main_dialog

namespace encrypt {
inline constexpr const char* kSourceEdit = "1000";
inline constexpr const char* kDestEdit = "1001";
inline constexpr const char* kEncryptButton = "1002";
inline constexpr const char* kCloseButton = "1003";
inline constexpr const char* kCompanyEdit = "1004";
inline constexpr const char* kBrowseSourceButton = "1005";
inline constexpr const char* kBrowseDestButton = "1006";
inline constexpr const char* kKeyFileEdit = "1007";
inline constexpr const char* kSelectKeyFileButton = "1008";
} // namespace encrypt

namespace generate_key {
inline constexpr const char* kKeyEdit = "1000";
inline constexpr const char* kDestEdit = "1001";
inline constexpr const char* kGenerateButton = "1002";
inline constexpr const char* kCloseButton = "1003";
inline constexpr const char* kCompanyEdit = "1004";
inline constexpr const char* kSelectPathButton = "1006";
} // namespace generate_key

namespace packaging {
inline constexpr const char* kPathEdit = "1000";
inline constexpr const char* kDestEdit = "1001";
inline constexpr const char* kPackButton = "1002";
inline constexpr const char* kCloseButton = "1003";
inline constexpr const char* kCompanyEdit = "1004";
inline constexpr const char* kBrowsePathButton = "1005";
inline constexpr const char* kBrowseDestButton = "1006";
inline constexpr const char* kList = "1007";
inline constexpr const char* kStatusEdit = "1008";
inline constexpr const char* kVersionEdit = "1009";
inline constexpr const char* kApplyButton = "1010";
} // namespace packaging

namespace input_version {
inline constexpr const char* kCancelButton = "1003";
inline constexpr const char* kVersionEdit = "1004";
inline constexpr const char* kWrappingButton = "1031";
inline constexpr const char* kPathEdit = "1032";
} // namespace input_version

namespace setting {
inline constexpr const char* kUseNewEncryptCheck = "1034";
} // namespace setting

} // namespace kestrane::ids
