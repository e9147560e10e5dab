// The floor for start-up: a Qt 6 program that maps one empty dialog, built
// with the same flags as dovrel.

#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QDialog dialog;
  dialog.resize(374, 170);
  return dialog.exec();
}
