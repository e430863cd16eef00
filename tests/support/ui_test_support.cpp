#include "support/ui_test_support.h"

#include <QKeyEvent>
#include <QTest>

namespace kestrane::test {

void press_key(QWidget* widget, int key)
{
    QTest::keyClick(widget, static_cast<Qt::Key>(key));
}

} // namespace kestrane::test
