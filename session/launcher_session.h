#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/base/outcome.h"
#include "session/display_access.h"
#include "session/login/login_dialogue.h"
#include "common/net/abort_signal.h"
#include "session/relay_start/launch_cookie.h"
#include "common/net/unique_fd.h"
#include "session/reporter.h"
#include "session/session_observer.h"
#include "session/session_request.h"
#include "session/telnet/telnet_channel.h"
#include "session/transcript.h"

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
  // returns, whatever happened.
  void RunSession();
  // After RunSession: how the launch ended, for the form.
  [[nodiscard]] const SessionEnd& End() const noexcept { return m_end; }

  // Stops the session from any thread: every blocking call of the worker
  // returns at once, and the worker then closes the socket itself.
  void Abort() noexcept { m_abort.Trigger(); }

  // True from the socket's creation to its closing.
  [[nodiscard]] bool HasOpenSocket() const noexcept { return m_socketOpen.load(); }
  // Why the launch ended; kUndecided while it runs.
  [[nodiscard]] LaunchCause Outcome() const noexcept { return m_outcome.load(); }
  // The form's side, as the session was given it.
  [[nodiscard]] SessionObserver& Observer() const noexcept { return *m_observer; }

 private:
  LaunchCause RunOverTelnet();
  // Empty when connected; otherwise why not, in words.
  std::string ConnectToHost();
  LaunchCause RunConnected(TelnetChannel& channel);
  // The launch over the OpenSSH client instead of telnet.
  LaunchCause RunOverSsh();
  // Waits for the relay this launch started, before anything is typed;
  // false when it did not start.
  bool RelayStarted();
  LaunchCause AfterLogin(TelnetChannel& channel, const LoginResult& login);
  LaunchCause LaunchRemoteTerminal(TelnetChannel& channel);
  // Installs the relay's cookie for this launch on the host, running
  // `meanwhile` while the host starts xauth; none when the launch goes on to
  // the command line.
  std::optional<LaunchCause> InstallLaunchCookie(TelnetChannel& channel, const std::function<void()>& meanwhile);
  // Where the terminal is sent, as the end's words name it.
  [[nodiscard]] LaunchTarget Target() const;
  LaunchCause LaunchFailed(LaunchCause cause, const std::string& hostLine);
  LaunchCause LoginIncorrect(const std::string& why);
  LaunchCause Stopped(TelnetChannel& channel, Step step, IoStatus status);
  LaunchCause SendFailed(TelnetChannel& channel, Step step);
  [[nodiscard]] WaitClock& Clock() const;
  void CloseSocket() noexcept;
  // `cause`, unless the form was closed first.
  LaunchCause EndedBy(LaunchCause cause) const noexcept;

  SessionRequest m_request;
  std::shared_ptr<SessionObserver> m_observer;
  SessionSetup m_setup;
  Reporter m_reporter;
  AbortSignal m_abort;
  UniqueFd m_hSocket;
  std::string m_localAddress;
  // The relay's control: held while the session runs, closed when it ends.
  UniqueFd m_relayControl;
  // A relay started and not yet waited for; why it did not start.
  std::optional<PendingRelay> m_pendingRelay;
  std::optional<LaunchCause> m_relayFailure;
  // The cookie the relay admits, installed on the host before the command line.
  std::optional<LaunchCookie> m_cookie;
  bool m_tcpTrusted = false;
  // What the host said and what was typed, while the connection is open.
  Transcript* m_transcript = nullptr;
  std::atomic<bool> m_socketOpen{false};
  std::atomic<LaunchCause> m_outcome{LaunchCause::kUndecided};
  // What the end's words quote, and whether the user declined ssh's question.
  std::string m_detail;
  bool m_declined = false;
  // How the launch ended, handed to the form once the connection is closed.
  SessionEnd m_end;
};


}  // namespace dovrel
