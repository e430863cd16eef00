#include "support/ui_test_support.h"

#include <QKeyEvent>
#include <QTest>

namespace kestrane::test {

void when_modal_opens(std::function<void(QWidget* modal)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

void press_key(QWidget* widget, int key)
{
    QTest::keyClick(widget, static_cast<Qt::Key>(key));
}

} // namespace kestrane::test
