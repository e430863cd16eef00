#include "ui/choosers.h"

#include "common/text_format.h"
#include "ops/company_key.h"
#include "ui/dialog_front_end.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace kestrane {
namespace {

// A folder chooser refuses a typed path that is not a folder with the program's own message (and
// stays open), in place of the toolkit's.
class FileDialog : public QFileDialog {
public:
    FileDialog(FrontEnd& front, QWidget* parent, const QString& caption) : QFileDialog(parent, caption), m_front(front)
    {}

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (fileMode() == QFileDialog::Directory && !chosen.isEmpty() && !QFileInfo(chosen.first()).isDir()) {
            show_not_a_folder(m_front, QDir::toNativeSeparators(chosen.first()));
            return;
        }
        QFileDialog::accept();
    }

private:
    FrontEnd& m_front;
};

QString qt_patterns(const QString& patterns)
{
    QStringList result;
    for (const QString& pattern : patterns.split(';', Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        result.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    return result.join(' ');
}

} // namespace

QStringList to_qt_name_filters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split('|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        if (name.isEmpty())
            break;
        const QString patterns = qt_patterns(parts[i + 1]);
        // "Wrp file(*.wrp)" names its patterns already, the way Qt reads them.
        if (!patterns.isEmpty() && name.endsWith('(' + patterns + ')'))
            result.append(name);
        else
            result.append(name + QStringLiteral(" (") + (patterns.isEmpty() ? QStringLiteral("*") : patterns) + ')');
    }
    return result;
}

std::optional<QString> choose_with_file_dialog(FrontEnd& front, const ChooserRequest& request)
{
    FileDialog dialog(front, request.parent, request.title);
    const QStringList filters = to_qt_name_filters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);

    switch (request.kind) {
    case ChooserKind::OpenFile:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case ChooserKind::SaveFile:
        // A destination usually does not exist yet; replacing one is what the caller asked for.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        break;
    case ChooserKind::Folder:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        break;
    }
    if (!request.default_suffix.isEmpty())
        dialog.setDefaultSuffix(request.default_suffix);

    if (!request.initial_path.isEmpty()) {
        const QFileInfo initial(request.initial_path);
        if (request.kind == ChooserKind::Folder || initial.isDir()) {
            dialog.setDirectory(initial.absoluteFilePath());
        } else {
            if (initial.absoluteDir().exists())
                dialog.setDirectory(initial.absolutePath());
            dialog.selectFile(initial.fileName());
        }
    }

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

ChooserRequest select_file_request(ChooserKind kind, QWidget* parent, const QString& initial, const QString& filter)
{
    ChooserRequest request;
    request.kind = kind;
    request.parent = parent;
    request.title = QStringLiteral("Select file");
    request.initial_path = initial;
    request.filter = filter;
    return request;
}

void show_not_a_folder(FrontEnd& front, const QString& path)
{
    front.show_message(format_text("\"%s\" 폴더 경로는 잘못되었습니다.", path.toStdString().c_str()));
}

std::optional<QString> choose_company_key_file(DialogFrontEnd& front, QWidget* parent, const QString& current)
{
    const std::optional<QString> chosen =
        front.choose_path(select_file_request(ChooserKind::OpenFile, parent, current, kWrpFileFilter));
    if (chosen && !company_of_key_file(chosen->toStdString())) {
        front.show_message("Not company key file");
        return std::nullopt;
    }
    return chosen;
}

} // namespace kestrane
