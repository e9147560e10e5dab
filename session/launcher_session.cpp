#include "session/launcher_session.h"

#include <cerrno>
#include <string>
#include <utility>

#include "common/base/terminal_program.h"
#include "session/host_text/host_text.h"
#include "session/cookie_install.h"
#include "session/display_access.h"
#include "session/launch_watch.h"
#include "common/net/connector.h"
#include "common/net/error_text.h"
#include "common/net/scope_exit.h"
#include "session/launch_report.h"
#include "session/transcript.h"
#include "session/watch/local_display.h"

namespace dovrel {

LauncherSession::LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                                 SessionSetup setup)
    : m_request(std::move(request)),
      m_observer(std::move(observer)),
      m_setup(std::move(setup)),
      m_reporter(*m_observer, Clock(), m_setup.options.verbose) {}

void LauncherSession::RunSession() {
  // The credentials are overwritten however the session ends.
  const ScopeExit wipe([this] {
    m_request.userId.Wipe();
    m_request.password.Wipe();
  });
  m_reporter.Start();
  const LaunchCause outcome = m_setup.options.ssh ? RunOverSsh() : RunOverTelnet();
  // A user who closed the form has seen the job end: no box.
  m_end = {outcome, Target(), m_detail, m_declined || m_abort.IsTriggered()};
  m_outcome = outcome;
}

LaunchCause LauncherSession::RunOverTelnet() {
  const std::string where = m_request.target.hostName + " port " + std::to_string(m_setup.port);
  m_reporter.Phase(SessionPhase::kConnecting, "connecting to " + where);
  if (const std::string failure = ConnectToHost(); !failure.empty()) {
    if (m_abort.IsTriggered()) return LaunchCause::kAborted;
    m_reporter.Line("Cannot Connect: " + where + ": " + failure);
    return LaunchCause::kCannotConnect;
  }
  LaunchCause outcome = LaunchCause::kHostStopped;
  {
    Transcript transcript(m_reporter);
    m_transcript = &transcript;
    TelnetChannel channel(m_hSocket.Get(), m_abort, m_setup.limits, Clock(), &transcript);
    outcome = RunConnected(channel);
    transcript.Flush();
    m_transcript = nullptr;
  }
  CloseSocket();
  // The relay keeps the port no longer than its connections need it.
  m_relayControl.Reset();
  m_reporter.Verbose("connection closed");
  return outcome;
}

std::string LauncherSession::ConnectToHost() {
  const Resolved resolved = ResolveIPv4(m_request.target.hostName, m_setup.port, m_abort, m_setup.limits.lookupLimit);
  if (!resolved.address) return resolved.failure;
  m_hSocket = MakeStreamSocket();
  if (!m_hSocket) return ErrorText(errno);
  m_socketOpen = true;
  const int error = ConnectSocket(m_hSocket.Get(), *resolved.address, m_abort, m_setup.limits.connectLimit, Clock());
  if (error == 0) return {};
  CloseSocket();
  return ConnectFailureText(error, m_setup.limits.connectLimit);
}

LaunchCause LauncherSession::RunConnected(TelnetChannel& channel) {
  const auto address = LocalAddressOf(m_hSocket.Get());
  if (!address) {
    m_reporter.Line("stopped after connecting: this machine's address on the connection is unknown");
    return EndedBy(LaunchCause::kCannotConnect);
  }
  m_localAddress = *address;
  m_reporter.Verbose("connected; this machine is " + m_localAddress + " to the host");
  // Before anything is typed: whether a terminal can reach the display, and
  // the relay to it when the display takes no TCP connections.
  if (m_setup.display) {
    DisplayAccess access = ReachDisplay(*m_setup.display, m_hSocket.Get(), m_localAddress, m_request.target.display,
                                        m_setup, m_abort, m_reporter);
    m_relayControl = std::move(access.relayControl);
    m_cookie = std::move(access.cookie);
    m_tcpTrusted = access.tcpTrusted;
    if (access.failure) {
      return *access.failure == LaunchCause::kAborted ? LaunchCause::kAborted
                                                      : LaunchFailed(*access.failure, access.detail);
    }
    if (access.pending) m_pendingRelay.emplace(std::move(*access.pending));
    // The window watch's connection is made while the host logs in.
    m_setup.display->Prepare(m_request.target.display);
  }

  m_reporter.Phase(SessionPhase::kLoggingIn, "logging in");
  const LoginResult login = LogIn(
      channel, m_request.userId, m_request.password, m_setup.limits,
      [this](std::string_view note) { m_reporter.Verbose(std::string(note)); }, [this] { return RelayStarted(); });
  return AfterLogin(channel, login);
}

bool LauncherSession::RelayStarted() {
  if (!m_pendingRelay) return true;
  DisplayAccess relay = FinishRelay(*m_pendingRelay, m_setup, m_reporter);
  m_pendingRelay.reset();
  m_relayControl = std::move(relay.relayControl);
  m_relayFailure = relay.failure;
  m_detail = relay.detail;
  return !relay.failure;
}

LaunchCause LauncherSession::AfterLogin(TelnetChannel& channel, const LoginResult& login) {
  switch (login.kind) {
    case LoginResult::Kind::kShell:
      return LaunchRemoteTerminal(channel);
    case LoginResult::Kind::kLoginIncorrect:
      return LoginIncorrect(" refused the user name or password");
    case LoginResult::Kind::kStopped:
      return Stopped(channel, login.step, login.status);
    case LoginResult::Kind::kNameNotTaken:
      m_reporter.Line("the host asked for the login name again after it was typed " +
                      std::to_string(login.tries) + " times; its last line: \"" + m_transcript->LastLine() +
                      "\"");
      return EndedBy(LaunchCause::kNameNotTaken);
    case LoginResult::Kind::kSendFailed:
      return SendFailed(channel, login.step);
    case LoginResult::Kind::kHeld:
      return m_relayFailure ? LaunchFailed(*m_relayFailure, m_detail) : EndedBy(LaunchCause::kRelayFailed);
  }
  return EndedBy(LaunchCause::kHostStopped);
}

std::optional<LaunchCause> LauncherSession::InstallLaunchCookie(TelnetChannel& channel,
                                                                   const std::function<void()>& meanwhile) {
  m_reporter.Verbose("installing this launch's cookie for " + m_localAddress + ":" +
                     std::to_string(m_request.target.display) + " with the host's xauth");
  m_transcript->Conceal(m_cookie->Hex());
  const LaunchVerdict installed =
      InstallCookie(channel, *m_cookie, m_localAddress, m_request.target.display, m_setup.limits, Clock(), meanwhile);
  switch (installed.cause) {
    case LaunchCause::kUndecided:
      return std::nullopt;
    case LaunchCause::kHostStopped:
      return Stopped(channel, Step::kXauth, channel.LastReadStatus());
    case LaunchCause::kSendFailed:
      return SendFailed(channel, Step::kXauth);
    default:  // no xauth, or a silent one
      break;
  }
  // No terminal without the cookie: the login ends as after a launch.
  if (channel.SendLine(std::string_view("exit"))) {
    channel.Discard(m_setup.limits.drainChunk, m_setup.limits.seenQuiet, Clock().Now() + m_setup.limits.readLimit);
  }
  if (m_abort.IsTriggered()) return LaunchCause::kAborted;
  return LaunchFailed(installed.cause, installed.hostLine);
}

LaunchCause LauncherSession::LaunchRemoteTerminal(TelnetChannel& channel) {
  // Watching starts before the command goes out, so a quick window is not
  // missed; with a cookie to install, while the host starts xauth.
  std::unique_ptr<TerminalWatch> watch;
  const auto startWatch = [&] {
    if (m_setup.display) {
      watch = m_setup.display->Watch(m_localAddress, m_request.target.display, m_tcpTrusted, m_setup.limits, m_abort);
    }
  };
  if (m_cookie) {
    if (const auto stopped = InstallLaunchCookie(channel, startWatch)) return *stopped;
  } else {
    startWatch();
  }
  const TerminalProgram program = TerminalProgram::Of(m_request.target.xterm);
  const std::string command = program.ShellCommand(m_localAddress, m_request.target.display);
  m_reporter.Phase(SessionPhase::kStartingTerminal, "starting the terminal");
  if (!channel.SendLine(command)) return SendFailed(channel, Step::kCommand);
  m_reporter.Phase(SessionPhase::kWaitingForWindow,
                   watch && watch->SeesWindows() ? "waiting for the terminal's window"
                                                 : "waiting for the terminal (its window cannot be watched)");

  const LaunchVerdict verdict =
      LaunchWatch(channel, m_abort, Clock(), m_setup.limits, m_reporter).Run(watch.get(), program, command);
  watch.reset();
  if (verdict.cause == LaunchCause::kAborted) return LaunchCause::kAborted;
  // A host that is gone is not typed to any more.
  if (verdict.cause == LaunchCause::kHostStopped) return Stopped(channel, Step::kWatch, IoStatus::kUnacknowledged);
  if (verdict.cause == LaunchCause::kSendFailed) return SendFailed(channel, Step::kCommandAgain);
  const bool sent = channel.SendLine(std::string_view("exit"));
  // Once the outcome is known, a short quiet lets "exit" reach the shell
  // and nothing more is waited for; only a launch taken on trust drains as
  // long as the host keeps talking.
  const bool known = verdict.cause != LaunchCause::kAssumed;
  if (sent) {
    // The drain ends with its quiet, and in any case within the read limit.
    channel.Discard(m_setup.limits.drainChunk, known ? m_setup.limits.seenQuiet : m_setup.limits.drainQuiet,
                Clock().Now() + m_setup.limits.readLimit);
  }
  // A host that has not taken "exit" within the drain is gone: that, not the
  // display's port, is why no window came.
  if (sent && verdict.cause == LaunchCause::kNoWindow && !channel.AllAcknowledged() && !m_abort.IsTriggered()) {
    return Stopped(channel, Step::kExit, IoStatus::kUnacknowledged);
  }
  // A user who closes the form during the drain has not seen the job end.
  if (m_abort.IsTriggered()) return LaunchCause::kAborted;

  switch (verdict.cause) {
    case LaunchCause::kSeen:
      m_reporter.Verbose("the terminal has started");
      return verdict.cause;
    case LaunchCause::kAssumed:
      m_reporter.Verbose("the terminal could not be watched; the host said nothing against it");
      return verdict.cause;
    case LaunchCause::kLoginIncorrect:
      return LoginIncorrect(" refused the login after the command line was typed; the host said: \"" +
                            verdict.hostLine + "\"");
    default:
      return LaunchFailed(verdict.cause, verdict.hostLine);
  }
}

LaunchTarget LauncherSession::Target() const {
  return {m_request.target, m_localAddress, m_setup.limits.watchLimit, m_setup.options.ssh};
}

LaunchCause LauncherSession::LaunchFailed(LaunchCause cause, const std::string& hostLine) {
  // Standard error in English in every locale, for scripts and bug reports;
  // the form writes the box from the same end, in its language.
  m_reporter.Line(DescribeLaunchProblem(cause, Target(), hostLine));
  m_detail = hostLine;
  return cause;
}

LaunchCause LauncherSession::LoginIncorrect(const std::string& why) {
  m_reporter.Line("Login incorrect: " + m_request.target.hostName + why);
  return LaunchCause::kLoginIncorrect;
}

LaunchCause LauncherSession::Stopped(TelnetChannel& channel, Step step, IoStatus status) {
  if (m_abort.IsTriggered() || status == IoStatus::kAborted) return LaunchCause::kAborted;
  m_reporter.Stopped(m_transcript->LastLine(), channel.LastSendError(), step, status, m_setup.limits);
  return LaunchCause::kHostStopped;
}

LaunchCause LauncherSession::SendFailed(TelnetChannel& channel, Step step) {
  if (m_abort.IsTriggered()) return LaunchCause::kAborted;
  m_reporter.SendFailed(channel.LastSendError(), step);
  return LaunchCause::kSendFailed;
}

WaitClock& LauncherSession::Clock() const { return m_setup.clock ? *m_setup.clock : SystemClock(); }

void LauncherSession::CloseSocket() noexcept {
  m_hSocket.Reset();
  m_socketOpen = false;
}

LaunchCause LauncherSession::EndedBy(LaunchCause cause) const noexcept {
  return m_abort.IsTriggered() ? LaunchCause::kAborted : cause;
}

}  // namespace dovrel
