#include "support/ui_test_support.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrane::test {
namespace {

// Looks at the active modal window ten times a second while a test runs.
class ModalWindowWatchdog : public testing::EmptyTestEventListener {
public:
    // The timer goes with the application; the listener lives until the program ends.
    explicit ModalWindowWatchdog(int limit_ms) : m_limit(limit_ms), m_timer(new QTimer(qApp))
    {
        m_timer->setInterval(100);
        QObject::connect(m_timer, &QTimer::timeout, [this] { look(); });
    }
    void OnTestStart(const testing::TestInfo&) override
    {
        m_modal = nullptr;
        if (m_timer)
            m_timer->start();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        if (m_timer)
            m_timer->stop();
    }

private:
    void look()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != m_modal) {
            m_modal = modal;
            m_since.start();
        }
        if (!modal || m_since.elapsed() < m_limit)
            return;
        std::string text = modal->windowTitle().toStdString() + " (" + modal->metaObject()->className() + ")";
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            text += ": " + box->text().toStdString();
        ADD_FAILURE() << "a modal window stayed open unanswered: " << text;
        m_modal = nullptr;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    }

    const int m_limit;
    QPointer<QTimer> m_timer;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_since;
};

} // namespace

void press_key(QWidget* widget, int key)
{
    QTest::keyClick(widget, static_cast<Qt::Key>(key));
}

void install_modal_window_watchdog(int limit_ms)
{
    testing::UnitTest::GetInstance()->listeners().Append(new ModalWindowWatchdog(limit_ms));
}

} // namespace kestrane::test
