#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace kestrane::test {

// Runs `action` on the next modal window of type T that opens (the dialog under test, from inside
// its own exec()), polling until it appears.
template <typename T, typename Action> void when_modal_of_type_opens(Action action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

// The same for any modal window.
inline void when_modal_opens(std::function<void(QWidget* modal)> action)
{
    when_modal_of_type_opens<QWidget>(std::move(action));
}

// Sends one key press (and release) to a widget.
void press_key(QWidget* widget, int key);

// Keeps a dialog test from hanging until CTest gives up. A modal window that stays the active one
// for `modal_limit_ms` while events flow (the tests answer theirs within milliseconds) fails the
// test, named with its title and text, and is closed; a test that runs past `test_limit_ms`
// (events stopped, or a window that will not close) ends the program with the test's name and
// the window last open. Installed once, before the tests run.
void install_dialog_test_watchdog(int modal_limit_ms, int test_limit_ms);

} // namespace kestrane::test
