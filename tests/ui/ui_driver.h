#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace dovrel::test {

// Acts on the first modal window that `match` accepts, as soon as it is up:
// the way a test reaches a box shown from inside a modal loop. Polls every
// 20 ms for at most 10 s.
inline void WhenModal(const std::function<bool(QWidget*)>& match,
                      const std::function<void(QWidget*)>& action) {
  auto* timer = new QTimer(qApp);
  auto started = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && match(modal)) {
      timer->deleteLater();
      timer->stop();
      action(modal);
    } else if (++*started > 500) {
      timer->deleteLater();
      timer->stop();
    }
  });
  timer->start(20);
}

// The text of a message box, or empty for any other window.
inline QString BoxText(QWidget* widget) {
  auto* box = qobject_cast<QMessageBox*>(widget);
  return box != nullptr ? box->text() : QString();
}

// The form's field that assistive technology announces by `name`, or null.
QLineEdit* FieldNamed(QWidget* form, const QString& name);

// Sends each character as a key press carrying that text; QTest::keyClicks
// cannot send non-Latin text.
void TypeText(QWidget* widget, const QString& text);

}  // namespace dovrel::test
