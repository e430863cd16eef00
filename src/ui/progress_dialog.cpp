#include "ui/progress_dialog.h"

#include "common/progress.h"

#include <QApplication>
#include <QProgressDialog>

#include <memory>

namespace kestrane {
namespace {

class ProgressDialogPresenter : public ProgressPresenter {
public:
    void start(const std::string& title) override
    {
        m_dialog = std::make_unique<QProgressDialog>(QApplication::activeWindow());
        m_dialog->setWindowTitle(QCoreApplication::applicationName());
        m_dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setLabelText(QString::fromStdString(title));
        m_dialog->setCancelButton(nullptr);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        m_dialog->setRange(0, 1000);
        m_dialog->setMinimumWidth(360);
        m_dialog->show();
        QCoreApplication::processEvents();
    }

    void update(int permille) override
    {
        if (!m_dialog)
            return;
        if (permille < 0)
            m_dialog->setRange(0, 0); // busy, amount unknown
        else
            m_dialog->setValue(permille);
        QCoreApplication::processEvents();
    }

    void stop() override { m_dialog.reset(); }

private:
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace

void install_progress_dialog_presenter()
{
    install_progress_presenter(std::make_shared<ProgressDialogPresenter>());
}

} // namespace kestrane
