// dovrel: logs in on a remote host over telnet and starts an X terminal there
// that displays on this machine.

#include <QApplication>
#include <QFileInfo>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/base/program_name.h"
#include "app/command_line.h"
#include "app/display_check.h"
#include "app/font_warm_up.h"
#include "app/launcher_app.h"
#include "app/helper_programs.h"
#include "ui/translations.h"
#include "session/watch/local_display.h"
#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"

namespace {

// Qt's own diagnostics (no XDG_RUNTIME_DIR for root, a platform plugin's
// notes) are not the program's words: its standard error carries only those.
// A fatal error still says why the program stops.
void QtMessages(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
  if (type == QtFatalMsg) dovrel::PrintLine(stderr, std::string(dovrel::kReportPrefix) + qPrintable(message));
}

}  // namespace

int main(int argc, char* argv[]) {
  // The form will hold a password: no core dumps, no ptrace by other processes.
  dovrel::ProtectSecretsFromInspection();
  // User name and password are sent in the locale's encoding.
  std::setlocale(LC_ALL, "");  // NOLINT(concurrency-mt-unsafe): no other thread yet
  switch (dovrel::FindInfoOption(argc, argv)) {
    case dovrel::InfoOption::kHelp:
      dovrel::PrintLine(stdout, dovrel::kUsageText);
      return dovrel::kExitDone;
    case dovrel::InfoOption::kVersion:
      dovrel::PrintLine(stdout, dovrel::kVersionText);
      return dovrel::kExitDone;
    case dovrel::InfoOption::kNone:
      break;
  }
  std::string usageProblem;
  const auto commandLine = dovrel::ParseCommandLine(dovrel::JoinArguments(argc, argv), &usageProblem);
  const auto environment = dovrel::DisplayEnvironment::Read();

  std::string problem;
  auto displayProbe = dovrel::ProbeDisplay(environment, problem);
  if (!displayProbe) {
    if (!commandLine) dovrel::PrintUsage(usageProblem);
    dovrel::PrintLine(stderr, std::string(dovrel::kReportPrefix) + problem);
    return dovrel::kExitUsage;
  }

  qInstallMessageHandler(QtMessages);
  dovrel::FontConfigWarmUp fontWarmUp;
  QApplication application(argc, argv);
  dovrel::InstallTranslations(application);
  displayProbe.reset();
  fontWarmUp.Wait();
  // Every box carries the program file's name as its caption.
  QApplication::setApplicationName(QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName());

  dovrel::SessionSetup setup;
  setup.display = dovrel::MakeX11Display();
  setup.relayProgram = dovrel::FindHelperProgram("dovrel-relay");
  setup.askpassProgram = dovrel::FindHelperProgram("dovrel-askpass");
  dovrel::CLauncherApp launcher(std::move(setup), environment);
  const dovrel::RunResult result = launcher.InitInstance(commandLine, usageProblem);
  if (result.workerStillRunning) {
    // The worker has been told to stop and owns all it touches; end the
    // process now rather than tear down the libraries under it.
    std::fflush(nullptr);
    std::_Exit(result.exitStatus);
  }
  return result.exitStatus;
}
