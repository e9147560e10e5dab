#include "app/launcher_app.h"


#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <utility>

#include "common/base/program_name.h"
#include "app/command_line.h"
#include "app/default_display.h"
#include "ui/launcher_dlg.h"
#include "ui/message_box.h"

namespace dovrel {

int ExitStatusFor(LaunchCause outcome) {
  return TerminalStarted(outcome) ? kExitDone : kExitNotDone;
}

RunResult CLauncherApp::InitInstance(const std::string& commandTail) {
  const auto commandLine = ParseCommandLine(commandTail);
  if (!commandLine) {
    const QString usage = QString::fromUtf8(kUsageText.data(), static_cast<qsizetype>(kUsageText.size()));
    PrintLine(stderr, kUsageText);
    ShowMessageBox(QMessageBox::Warning, usage, nullptr);
    return {kExitUsage, false};
  }

  int screen = commandLine->display;
  if (!commandLine->displayGiven) {
    // Read before any worker starts; nothing in this process sets them.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    const char* display = std::getenv("DISPLAY");          // NOLINT(concurrency-mt-unsafe)
    const DisplayChoice choice = ChooseDefaultDisplay(display, wayland != nullptr && *wayland != '\0',
                                                      m_setup.display ? LocalXSocketNumbers(*m_setup.display)
                                                                      : std::vector<int>{});
    screen = choice.number;
    if (commandLine->verbose) {
      PrintLine(stderr, std::string(kReportPrefix) + "display :" + std::to_string(screen) + " " + choice.source);
    }
  }
  SessionSetup setup = m_setup;
  setup.verbose = commandLine->verbose;
  setup.relay = commandLine->relay;
  setup.trustHost = commandLine->trustHost;
  setup.untrusted = commandLine->untrusted;
  setup.ssh = commandLine->ssh;
  CLauncherDlg dialog(std::move(setup));
  dialog.SetTarget(commandLine->hostName, screen, commandLine->xterm);
  dialog.exec();
  // The teardown: the window is gone; stop the worker if it still runs.
  const bool stopped = dialog.StopWorker();
  return {ExitStatusFor(dialog.Outcome()), !stopped};
}

}  // namespace dovrel
