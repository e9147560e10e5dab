#include "ui_driver.h"

#include <QAccessible>
#include <QTest>

namespace dovrel::test {

QLineEdit* FieldNamed(QWidget* form, const QString& name) {
  for (auto* edit : form->findChildren<QLineEdit*>()) {
    const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(edit);
    if (accessible != nullptr && accessible->text(QAccessible::Name) == name) return edit;
  }
  return nullptr;
}

void TypeText(QWidget* widget, const QString& text) {
  for (const char32_t codePoint : text.toUcs4()) {
    const QString one = QString::fromUcs4(&codePoint, 1);
    QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, one, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, one, Qt::NoModifier);
  }
}

}  // namespace dovrel::test
