#include "support/ui_test_support.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace kestrane::test {
namespace {

std::string describe(QWidget* window)
{
    std::string text = "\"" + window->windowTitle().toStdString() + "\" (" + window->metaObject()->className() + ")";
    if (auto* box = qobject_cast<QMessageBox*>(window))
        text += ": " + box->text().toStdString();
    return text;
}

// Runs on a thread of its own: ends the program when a test overruns its time.
class TestDeadline {
public:
    explicit TestDeadline(int limit_ms) : m_limit(limit_ms), m_thread([this] { watch(); }) { m_thread.detach(); }

    void arm(const std::string& test)
    {
        std::lock_guard lock(m_mutex);
        m_test = test;
        m_window.clear();
        m_deadline = Clock::now() + m_limit;
        m_armed = true;
        m_changed.notify_all();
    }
    void disarm()
    {
        std::lock_guard lock(m_mutex);
        m_armed = false;
        m_changed.notify_all();
    }
    void note_window(const std::string& window)
    {
        std::lock_guard lock(m_mutex);
        m_window = window;
    }

private:
    using Clock = std::chrono::steady_clock;

    [[noreturn]] void watch()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_armed; });
            if (m_changed.wait_until(lock, m_deadline, [this] { return !m_armed; }))
                continue;
            std::fprintf(stderr, "\n%s did not end within %lld s; the modal window last open: %s\n", m_test.c_str(),
                         static_cast<long long>(m_limit.count() / 1000),
                         m_window.empty() ? "none" : m_window.c_str());
            std::fflush(stderr);
            std::_Exit(1);
        }
    }

    const std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_test;
    std::string m_window;
    Clock::time_point m_deadline;
    bool m_armed = false;
    std::thread m_thread;
};

class DialogTestWatchdog : public testing::EmptyTestEventListener {
public:
    // The deadline's thread outlives every object of the program; the timer goes with the application.
    DialogTestWatchdog(int modal_limit_ms, int test_limit_ms)
        : m_modalLimit(modal_limit_ms), m_deadline(*new TestDeadline(test_limit_ms)), m_timer(new QTimer(qApp))
    {
        m_timer->setInterval(100);
        QObject::connect(m_timer, &QTimer::timeout, [this] { look_at_modal_window(); });
    }

    void OnTestStart(const testing::TestInfo& test) override
    {
        m_deadline.arm(std::string(test.test_suite_name()) + "." + test.name());
        m_modal = nullptr;
        if (m_timer)
            m_timer->start();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        if (m_timer)
            m_timer->stop();
        m_deadline.disarm();
    }

private:
    void look_at_modal_window()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != m_modal) {
            m_modal = modal;
            m_since.start();
            m_deadline.note_window(modal ? describe(modal) : std::string());
            return;
        }
        if (!modal || m_since.elapsed() < m_modalLimit)
            return;
        ADD_FAILURE() << "a modal window stayed open unanswered: " << describe(modal);
        m_modal = nullptr;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    const int m_modalLimit;
    TestDeadline& m_deadline;
    QPointer<QTimer> m_timer;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_since;
};

} // namespace

void press_key(QWidget* widget, int key)
{
    QTest::keyClick(widget, static_cast<Qt::Key>(key));
}

void install_dialog_test_watchdog(int modal_limit_ms, int test_limit_ms)
{
    testing::UnitTest::GetInstance()->listeners().Append(new DialogTestWatchdog(modal_limit_ms, test_limit_ms));
}

} // namespace kestrane::test
