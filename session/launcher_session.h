#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "abort_signal.h"
#include "launch_report.h"
#include "launch_words.h"
#include "local_display.h"
#include "session_observer.h"
#include "session_request.h"
#include "telnet_channel.h"
#include "unique_fd.h"

namespace dovrel {

// One remote session, from the connection to its close: the worker's own
// object. It holds copies of everything it sends and the socket, so nothing
// it touches can be freed or rewritten under it by the form.
class LauncherSession {
 public:
  LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                  SessionSetup setup = {});
  LauncherSession(const LauncherSession&) = delete;
  LauncherSession& operator=(const LauncherSession&) = delete;

  // The whole session, on the worker thread. Closes the socket before it
  // returns, whatever happened, and only then shows a message.
  void RunSession();

  // Stops the session from any thread: every blocking call of the worker
  // returns at once, and the worker then closes the socket itself.
  void Abort() noexcept { m_abort.Trigger(); }

  // True from the socket's creation to its closing.
  [[nodiscard]] bool HasOpenSocket() const noexcept { return m_socketOpen.load(); }
  [[nodiscard]] SessionOutcome Outcome() const noexcept { return m_outcome.load(); }
  // The form's side, as the session was given it.
  [[nodiscard]] SessionObserver& Observer() const noexcept { return *m_observer; }

 private:
  // What settled the watch after the command line.
  enum class LaunchSign {
    kSeen,      // the terminal's window, or its lasting X connection
    kAssumed,   // nothing could be watched and nothing speaks against it
    kHostSaid,  // the host's words tell why it did not start
    kNothing,   // the watch ran out: no window, no word
    kAborted,
  };

  bool ConnectToHost();
  SessionOutcome RunConnected(TelnetChannel& channel);
  SessionOutcome RunLoginScript(TelnetChannel& channel);
  SessionOutcome LaunchRemoteTerminal(TelnetChannel& channel);
  LaunchSign WatchLaunch(TelnetChannel& channel, TerminalWatch* watch, LaunchWords& words,
                         const std::string& command);
  SessionOutcome LaunchFailed(LaunchProblem problem, const std::string& hostLine);
  SessionOutcome Stopped(TelnetChannel& channel, const char* step, IoStatus status);
  // Sends `bytes` and a line feed; the verbose report shows `shown` instead
  // of the bytes when it is given.
  bool TypeLine(TelnetChannel& channel, std::span<const unsigned char> bytes, const char* shown);
  void Phase(SessionPhase phase, const std::string& what);
  void Verbose(const std::string& what);
  void VerboseHeard(TelnetChannel& channel);
  [[nodiscard]] WaitClock& Clock() const;
  void CloseSocket() noexcept;
  SessionOutcome Failure() const noexcept;

  SessionRequest m_request;
  std::shared_ptr<SessionObserver> m_observer;
  SessionSetup m_setup;
  AbortSignal m_abort;
  UniqueFd m_hSocket;
  std::string m_localAddress;
  std::chrono::steady_clock::time_point m_started;  // on Clock()
  std::atomic<bool> m_socketOpen{false};
  std::atomic<SessionOutcome> m_outcome{SessionOutcome::kNotRun};
  // A box to show once the connection is closed: a box left on screen must
  // not keep the remote login waiting.
  std::optional<std::pair<SessionMessage, std::string>> m_message;
};

// The worker thread's body: runs the session, then asks the form to close.
void SessionThreadProc(const std::shared_ptr<LauncherSession>& session);

}  // namespace dovrel
