#pragma once

#include <atomic>
#include <memory>

#include "abort_signal.h"
#include "session_observer.h"
#include "session_request.h"
#include "telnet_channel.h"
#include "unique_fd.h"

namespace dovrel {

// What one session cost on the wire, for measurements.
struct SessionStats {
  std::size_t recvCalls = 0;
  std::size_t sendCalls = 0;
  std::size_t bytesReceived = 0;
};

// One remote session, from the connection to its close: the worker's own
// object. It holds copies of everything it sends and the socket, so nothing
// it touches can be freed or rewritten under it by the form.
class LauncherSession {
 public:
  LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                  SessionTiming timing = {});
  LauncherSession(const LauncherSession&) = delete;
  LauncherSession& operator=(const LauncherSession&) = delete;

  // The whole session, on the worker thread. Closes the socket before it
  // returns, whatever happened.
  void RunSession();

  // Stops the session from any thread: every blocking call of the worker
  // returns at once, and the worker then closes the socket itself.
  void Abort() noexcept { m_abort.Trigger(); }

  // True from the socket's creation to its closing.
  [[nodiscard]] bool HasOpenSocket() const noexcept { return m_socketOpen.load(); }
  [[nodiscard]] SessionOutcome Outcome() const noexcept { return m_outcome.load(); }
  // Valid once RunSession has returned.
  [[nodiscard]] SessionStats Stats() const noexcept { return m_stats; }

 private:
  bool ConnectToHost();
  SessionOutcome RunLoginScript(TelnetChannel& channel);
  SessionOutcome LaunchRemoteTerminal(TelnetChannel& channel);
  void CloseSocket() noexcept;
  SessionOutcome Failure() const noexcept;

  SessionRequest m_request;
  std::shared_ptr<SessionObserver> m_observer;
  SessionTiming m_timing;
  AbortSignal m_abort;
  UniqueFd m_hSocket;
  std::atomic<bool> m_socketOpen{false};
  std::atomic<SessionOutcome> m_outcome{SessionOutcome::kNotRun};
  SessionStats m_stats;
};

// The worker thread's body: runs the session, then asks the form to close.
void SessionThreadProc(const std::shared_ptr<LauncherSession>& session,
                       const std::shared_ptr<SessionObserver>& observer);

}  // namespace dovrel
