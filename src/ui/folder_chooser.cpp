#include "ui/folder_chooser.h"

#include "common/paths.h"
#include "ui/choosers.h"
#include "ui/dialog_data.h"
#include "ui/dialog_front_end.h"

namespace kestrane {

std::optional<QString> choose_folder(DialogFrontEnd& front, QWidget* parent, const QString& initial_folder)
{
    ChooserRequest request;
    request.kind = ChooserKind::Folder;
    request.parent = parent;
    request.title = QStringLiteral("폴더를 선택하여 주세요.");
    request.initial_path = initial_folder;
    for (;;) {
        const std::optional<QString> chosen = front.choose_path(request);
        if (!chosen || chosen->isEmpty())
            return std::nullopt;
        if (is_directory(to_std(*chosen)))
            return chosen;
        show_not_a_folder(front, *chosen);
    }
}

} // namespace kestrane
