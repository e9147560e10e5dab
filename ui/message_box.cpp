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

bool AskToConnect(const QString& text, QWidget* owner) {
  QMessageBox box(QMessageBox::Question, ApplicationCaption(), QString(), QMessageBox::NoButton, owner);
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  QPushButton* connect = box.addButton(QCoreApplication::translate("CLauncherDlg", "&Connect"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == connect;
}

}  // namespace dovrel
