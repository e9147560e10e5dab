#include "ui_driver.h"

#include <QTest>

namespace dovrel::test {

void TypeText(QWidget* widget, const QString& text) {
  for (const char32_t codePoint : text.toUcs4()) {
    const QString one = QString::fromUcs4(&codePoint, 1);
    QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, one, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, one, Qt::NoModifier);
  }
}

}  // namespace dovrel::test
