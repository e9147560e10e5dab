// The floor for start-up: a Qt 6 program that maps one empty dialog, built
// with the same flags as dovrel. With --label the dialog holds one line of
// text, which costs what any form with text costs: the font configuration,
// the font database and a font.

#include <QApplication>
#include <QDialog>
#include <QLabel>

#include <cstring>

int main(int argc, char** argv) {
  const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
  QApplication application(argc, argv);
  QDialog dialog;
  if (label) new QLabel(QStringLiteral("Host"), &dialog);
  dialog.resize(374, 170);
  return dialog.exec();
}
