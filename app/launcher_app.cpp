#include "launcher_app.h"

#include <QMessageBox>

#include <cstdio>

#include "command_line.h"
#include "launcher_dlg.h"

namespace dovrel {

int ExitStatusFor(SessionOutcome outcome) {
  return outcome == SessionOutcome::kLaunched ? kExitDone : kExitNotDone;
}

RunResult CLauncherApp::InitInstance(const std::string& commandTail) {
  const auto commandLine = ParseCommandLine(commandTail);
  if (!commandLine) {
    const QString usage = QString::fromUtf8(kUsageText.data(), static_cast<qsizetype>(kUsageText.size()));
    std::fprintf(stderr, "%.*s\n", static_cast<int>(kUsageText.size()), kUsageText.data());
    QMessageBox box(QMessageBox::Warning, ApplicationCaption(), usage, QMessageBox::Ok);
    box.exec();
    return {kExitUsage, false};
  }

  CLauncherDlg dialog;
  dialog.SetTarget(commandLine->hostName, commandLine->display, commandLine->xterm);
  dialog.SetSessionTiming(m_timing);
  dialog.exec();
  // The teardown: the window is gone; stop the worker if it still runs.
  const bool stopped = dialog.StopWorker();
  return {ExitStatusFor(dialog.Outcome()), !stopped};
}

}  // namespace dovrel
