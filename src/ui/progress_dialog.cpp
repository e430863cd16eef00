#include "ui/progress_dialog.h"

#include "common/progress.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace kestrane {

ProgressWindow::ProgressWindow(const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_label(new QLabel(title, this)),
      m_bar(new QProgressBar(this)), m_cancel(new_button("Cancel", "2", this))
{
    setWindowTitle(QCoreApplication::applicationName());
    setWindowModality(Qt::ApplicationModal);
    m_bar->setRange(0, 1000);
    m_bar->setValue(0);
    m_cancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    // The work sees the request at its next block; until it has stopped the window stays.
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelRequested = true;
        m_cancel->setEnabled(false);
    });
}

QString ProgressWindow::labelText() const
{
    return m_label->text();
}

void ProgressWindow::showProgress(int permille)
{
    if (permille < 0)
        m_bar->setRange(0, 0); // busy, amount unknown
    else
        m_bar->setValue(permille);
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

namespace {

class ProgressDialogPresenter : public ProgressPresenter {
public:
    void start(const std::string& title) override
    {
        m_window = std::make_unique<ProgressWindow>(QString::fromStdString(title), QApplication::activeWindow());
        m_window->show();
        QCoreApplication::processEvents();
    }

    void update(int permille) override
    {
        if (!m_window)
            return;
        m_window->showProgress(permille);
        QCoreApplication::processEvents();
    }

    void stop() override { m_window.reset(); }

    bool cancel_requested() const override { return m_window && m_window->cancelRequested(); }

private:
    std::unique_ptr<ProgressWindow> m_window;
};

} // namespace

void install_progress_dialog_presenter()
{
    install_progress_presenter(std::make_shared<ProgressDialogPresenter>());
}

} // namespace kestrane
