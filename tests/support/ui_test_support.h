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

// Keeps a dialog test from waiting for CTest's time limit on a window nobody answers: a modal
// window that stays the active one for `limit_ms` (the tests answer theirs within milliseconds)
// fails the test, named with its title and text, and is closed. Installed once, before the tests.
void install_modal_window_watchdog(int limit_ms);

} // namespace kestrane::test
