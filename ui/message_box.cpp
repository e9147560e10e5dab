#include "ui/message_box.h"

#include <QCoreApplication>
#include <QPushButton>

#include "ui/launcher_dlg.h"

namespace dovrel {

void ShowMessageBox(QMessageBox::Icon icon, const QString& text, QWidget* owner) {
  QMessageBox box(icon, ApplicationCaption(), QString(), QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.exec();
}

bool AskToGoOn(const QString& text, const QString& yes, QWidget* owner, QPointer<QMessageBox>& open) {
  QMessageBox box(QMessageBox::Question, ApplicationCaption(), QString(), QMessageBox::NoButton, owner);
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  QPushButton* goOn = box.addButton(yes, QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  open = &box;
  box.exec();
  open = nullptr;
  return box.clickedButton() == goOn;
}

}  // namespace dovrel
