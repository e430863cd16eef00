#include "ui/dialog_front_end.h"

#include "ui/input_version_dialog.h"

#include <QApplication>
#include <QMessageBox>

namespace kestrane {

void DialogFrontEnd::show_message(const std::string& text, MessageIcon icon)
{
    // On top of the dialog that is running, if any.
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QCoreApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<std::string> DialogFrontEnd::ask_version(const std::string& path)
{
    CInputVersionDlg dialog(*this);
    dialog.m_strPath = QString::fromStdString(path);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.m_strVersion.toStdString();
}

ProgressPresenter* DialogFrontEnd::progress()
{
    return &m_progress;
}

std::optional<QString> DialogFrontEnd::choose_path(const ChooserRequest& request)
{
    return choose_with_file_dialog(*this, request);
}

} // namespace kestrane
