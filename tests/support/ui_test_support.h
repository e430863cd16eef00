#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace kestrane::test {

// Runs `action` on the next modal window that opens (the dialog under test, from inside its own
// exec()), polling until it appears.
void when_modal_opens(std::function<void(QWidget* modal)> action);

// Sends one key press (and release) to a widget.
void press_key(QWidget* widget, int key);

} // namespace kestrane::test
