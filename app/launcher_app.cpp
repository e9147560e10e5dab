#include "app/launcher_app.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <utility>

#include "session/base/program_name.h"
#include "app/command_line.h"
#include "app/default_display.h"
#include "ui/launcher_dlg.h"

namespace dovrel {

int ExitStatusFor(SessionOutcome outcome) {
  return outcome == SessionOutcome::kLaunched ? kExitDone : kExitNotDone;
}

RunResult CLauncherApp::InitInstance(const std::string& commandTail) {
  const auto commandLine = ParseCommandLine(commandTail);
  if (!commandLine) {
    const QString usage = QString::fromUtf8(kUsageText.data(), static_cast<qsizetype>(kUsageText.size()));
    PrintLine(stderr, kUsageText);
    QMessageBox box(QMessageBox::Warning, ApplicationCaption(), usage, QMessageBox::Ok);
    box.exec();
    return {kExitUsage, false};
  }

  int display = commandLine->display;
  if (!commandLine->displayGiven) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const DisplayChoice choice = ChooseDefaultDisplay(std::getenv("DISPLAY"), wayland != nullptr && *wayland != '\0',
                                                      m_setup.display ? LocalXSocketNumbers(*m_setup.display)
                                                                      : std::vector<int>{});
    display = choice.number;
    if (commandLine->verbose) {
      PrintLine(stderr, std::string(kReportPrefix) + "display :" + std::to_string(display) + " " + choice.source);
    }
  }
  SessionSetup setup = m_setup;
  setup.verbose = commandLine->verbose;
  setup.relay = commandLine->relay;
  setup.trustHost = commandLine->trustHost;
  setup.untrusted = commandLine->untrusted;
  CLauncherDlg dialog(std::move(setup));
  dialog.SetTarget(commandLine->hostName, display, commandLine->xterm);
  dialog.exec();
  // The teardown: the window is gone; stop the worker if it still runs.
  const bool stopped = dialog.StopWorker();
  return {ExitStatusFor(dialog.Outcome()), !stopped};
}

}  // namespace dovrel
