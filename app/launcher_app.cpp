#include "app/launcher_app.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <utility>

#include "common/base/program_name.h"
#include "app/command_line.h"
#include "app/default_display.h"
#include "ui/end_words/end_words.h"
#include "ui/launcher_dlg.h"
#include "ui/message_box.h"

namespace dovrel {

int ExitStatusFor(LaunchCause outcome) {
  return TerminalStarted(outcome) ? kExitDone : kExitNotDone;
}

RunResult CLauncherApp::InitInstance(const std::optional<CommandLine>& commandLine, std::string_view problem) {
  if (!commandLine) {
    QString usage = QString::fromUtf8(kUsageText.data(), static_cast<qsizetype>(kUsageText.size()));
    if (!problem.empty()) {
      usage += QStringLiteral("\n\n") + QString::fromUtf8(problem.data(), static_cast<qsizetype>(problem.size()));
    }
    PrintUsage(problem);
    ShowMessageBox(QMessageBox::Warning, usage, nullptr);
    return {kExitUsage, false};
  }

  TerminalTarget target = commandLine->target;
  if (!commandLine->displayGiven) {
    const DisplayChoice choice =
        ChooseDefaultDisplay(m_environment.x11.empty() ? nullptr : m_environment.x11.c_str(),
                             !m_environment.wayland.empty(),
                             m_setup.display ? LocalXSocketNumbers(*m_setup.display) : std::vector<int>{});
    target.display = choice.number;
    if (commandLine->options.verbose) {
      PrintLine(stderr, std::string(kReportPrefix) + "display :" + std::to_string(target.display) + " " +
                            choice.source);
    }
  }
  SessionSetup setup = m_setup;
  setup.options = commandLine->options;
  CLauncherDlg dialog(std::move(setup));
  dialog.SetTarget(target);
  // The end's one English line, after every line of the report.
  QObject::connect(&dialog, &CLauncherDlg::launchEnded, [](const SessionEnd& end) {
    if (const auto line = FailureLine(end)) PrintLine(stderr, std::string(kReportPrefix) + *line);
  });
  if (!commandLine->userName.empty()) dialog.SetUserName(commandLine->userName);
  dialog.exec();
  // The teardown: the window is gone; stop the worker if it still runs.
  const bool stopped = dialog.StopWorker();
  return {ExitStatusFor(dialog.Outcome()), !stopped};
}

}  // namespace dovrel
