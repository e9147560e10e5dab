#include "ui/message_box.h"

#include "ui/launcher_dlg.h"

namespace dovrel {

void ShowMessageBox(QMessageBox::Icon icon, const QString& text, QWidget* owner) {
  QMessageBox box(icon, ApplicationCaption(), QString(), QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.exec();
}

}  // namespace dovrel
