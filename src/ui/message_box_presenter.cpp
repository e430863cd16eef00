#include "ui/message_box_presenter.h"

#include "common/messages.h"

#include <QApplication>
#include <QMessageBox>

namespace kestrane {

void install_message_box_presenter()
{
    install_message_presenter([](const std::string& text, MessageIcon icon) {
        // On top of the dialog that is running, if any.
        QWidget* parent = QApplication::activeModalWidget();
        if (!parent)
            parent = QApplication::activeWindow();
        QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                        QCoreApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok,
                        parent);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });
}

} // namespace kestrane
