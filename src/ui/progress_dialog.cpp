#include "ui/progress_dialog.h"

#include "ui/widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

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

void ProgressDialogPresenter::start(const std::string& title)
{
    m_window = std::make_unique<ProgressWindow>(QString::fromStdString(title), QApplication::activeWindow());
    m_window->show();
    QCoreApplication::processEvents();
}

void ProgressDialogPresenter::update(int permille)
{
    if (!m_window)
        return;
    m_window->showProgress(permille);
    QCoreApplication::processEvents();
}

void ProgressDialogPresenter::stop()
{
    m_window.reset();
}

bool ProgressDialogPresenter::cancel_requested() const
{
    return m_window && m_window->cancelRequested();
}

} // namespace kestrane
