#pragma once

#include <string>
#include <utility>

#include "session/session_request.h"

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
  // `setup`: where and how the worker works; the command line adds -v.
  explicit CLauncherApp(SessionSetup setup) : m_setup(std::move(setup)) {}

  // Needs a QApplication. Shows the usage box for a bad command line.
  RunResult InitInstance(const std::string& commandTail);

 private:
  SessionSetup m_setup;
};

// Exit status for why the launch ended.
int ExitStatusFor(LaunchCause outcome);

}  // namespace dovrel
