#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace kestrane {

class DialogFrontEnd;

// The folder chooser of the main dialog and the packaging dialog: title "폴더를 선택하여 주세요.",
// starting at `initial_folder`. A path that is not an existing folder is refused with
// "\"%s\" 폴더 경로는 잘못되었습니다." and the chooser opens again, as a folder browser stays open
// after a name it cannot validate. The chosen folder, or nothing when the user cancelled or chose
// an empty path. Asked and refused through `front`.
std::optional<QString> choose_folder(DialogFrontEnd& front, QWidget* parent, const QString& initial_folder);

} // namespace kestrane
