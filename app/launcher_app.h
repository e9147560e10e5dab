#pragma once

#include <string>
#include <utility>

#include <optional>

#include "app/command_line.h"
#include "app/display_check.h"
#include "session/launch/session_request.h"

namespace dovrel {

// How one run of the program ended.
struct RunResult {
  int exitStatus = 1;
  // A worker that did not stop in time is still running; the caller must end
  // the process without running static destructors under it.
  bool workerStillRunning = false;
};

// Exit statuses: the job was done; it was not; the command line was bad (or
// there is no display).
inline constexpr int kExitDone = 0;
inline constexpr int kExitNotDone = 1;
inline constexpr int kExitUsage = 2;

// Start-up: reads the command line, then runs the login form until it ends.
class CLauncherApp {
 public:
  // `setup`: where and how the worker works; the command line adds its
  // options. `environment`: the display's, for a Screen not given.
  explicit CLauncherApp(SessionSetup setup, DisplayEnvironment environment = DisplayEnvironment::Read())
      : m_setup(std::move(setup)), m_environment(std::move(environment)) {}

  // Needs a QApplication. `commandLine`: the command line as read; none
  // when it was bad, which shows the usage box, with `problem` when known.
  RunResult InitInstance(const std::optional<CommandLine>& commandLine, std::string_view problem = {});

 private:
  SessionSetup m_setup;
  DisplayEnvironment m_environment;
};

// Exit status for why the launch ended.
int ExitStatusFor(LaunchCause outcome);

}  // namespace dovrel
