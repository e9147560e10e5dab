// Runs the form's tests in one QApplication, with no display needed.

#include <gtest/gtest.h>

#include <QApplication>

#include "ui/translations.h"

#include <clocale>
#include <cstdio>

namespace {

QtMessageHandler standardHandler = nullptr;

// The headless platform warns that it cannot raise windows; that is known.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  if (standardHandler != nullptr) {
    standardHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  }
}

}  // namespace

int main(int argc, char** argv) {
  standardHandler = qInstallMessageHandler(QuietHandler);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  dovrel::InstallTranslations(application);
  std::setlocale(LC_ALL, "C.UTF-8");
  QApplication::setApplicationName(QStringLiteral("dovrel"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
