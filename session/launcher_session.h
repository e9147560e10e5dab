#pragma once

#include <atomic>
#include <memory>

#include "session/launch/launch_cause.h"
#include "common/net/abort_signal.h"
#include "session/launch/launch_end.h"
#include "session/launch/reporter.h"
#include "session/launch/session_observer.h"
#include "session/launch/session_request.h"

namespace dovrel {

// One launch, from the form's OK to its end, over one way in (telnet, or
// ssh with --ssh): the worker's own object. It holds copies of everything
// it sends, so nothing it touches can be freed or rewritten under it by the
// form.
class LauncherSession {
 public:
  LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                  SessionSetup setup = {});
  LauncherSession(const LauncherSession&) = delete;
  LauncherSession& operator=(const LauncherSession&) = delete;

  // The whole launch, on the worker thread. Its connection is closed and the
  // credentials are wiped before it returns, whatever happened.
  void RunSession();
  // After RunSession: how the launch ended, for the form.
  [[nodiscard]] const SessionEnd& End() const noexcept { return m_end; }

  // Stops the session from any thread: every blocking call of the worker
  // returns at once, and the worker then closes its connection itself.
  void Abort() noexcept { m_abort.Trigger(); }

  // True while the way in holds a connection to the host.
  [[nodiscard]] bool HasOpenSocket() const noexcept { return m_connectionOpen.load(); }
  // Why the launch ended; kUndecided while it runs.
  [[nodiscard]] LaunchCause Outcome() const noexcept { return m_outcome.load(); }
  // The form's side, as the session was given it.
  [[nodiscard]] SessionObserver& Observer() const noexcept { return *m_observer; }

 private:
  [[nodiscard]] WaitClock& Clock() const;

  SessionRequest m_request;
  std::shared_ptr<SessionObserver> m_observer;
  SessionSetup m_setup;
  AbortSignal m_abort;
  Reporter m_reporter;
  std::atomic<bool> m_connectionOpen{false};
  std::atomic<LaunchCause> m_outcome{LaunchCause::kUndecided};
  // How the launch ended, handed to the form once the connection is closed.
  SessionEnd m_end;
};

}  // namespace dovrel
