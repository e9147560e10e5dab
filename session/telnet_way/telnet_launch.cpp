#include "session/telnet_way/telnet_launch.h"

#include <cerrno>
#include <string>
#include <utility>

#include "session/launch/terminal_program.h"
#include "common/net/connector.h"
#include "common/net/error_text.h"
#include "session/telnet_way/cookie_install.h"
#include "session/telnet_way/host_stop.h"
#include "session/launch/user_question.h"
#include "session/telnet_way/launch_watch.h"
#include "session/watch/local_display.h"

namespace dovrel {

std::unique_ptr<WayIn> TelnetWayIn(LaunchContext& launch) { return std::make_unique<TelnetLaunch>(launch); }

LaunchCause TelnetLaunch::Run() {
  const std::string where = m_launch.request.target.hostName + " port " + std::to_string(m_launch.setup.port);
  m_launch.reporter.Phase(SessionPhase::kConnecting, "connecting to " + where);
  auto connected = ConnectToHost();
  if (!connected) {
    return m_launch.ending.Stopped({LaunchCause::kCannotConnect, where + ": " + connected.Why()});
  }
  m_hSocket = std::move(*connected);
  m_connectedAt = m_launch.clock.Now();
  LaunchCause outcome = LaunchCause::kHostStopped;
  {
    Transcript transcript(m_launch.reporter);
    m_transcript = &transcript;
    TelnetChannel channel(m_hSocket.Get(), m_launch.abort, m_launch.setup.limits, m_launch.clock, &transcript);
    outcome = RunConnected(channel);
    transcript.Flush();
    m_transcript = nullptr;
  }
  CloseSocket();
  // The relay keeps the port no longer than its connections need it.
  m_relayControl.Reset();
  m_launch.reporter.Verbose("connection closed");
  return outcome;
}

OrFailure<UniqueFd> TelnetLaunch::ConnectToHost() {
  const SessionSetup& setup = m_launch.setup;
  const auto address = ResolveIPv4(m_launch.request.target.hostName, setup.port, m_launch.abort,
                                   setup.limits.lookupLimit);
  if (!address) return Failure{address.Why()};
  UniqueFd socket = MakeStreamSocket();
  if (!socket) return Failure{ErrorText(errno)};
  // From here the form's teardown waits as for an open connection.
  m_launch.connectionOpen = true;
  const int error = ConnectSocket(socket.Get(), *address, m_launch.abort, setup.limits.connectLimit, m_launch.clock);
  if (error == 0) return socket;
  m_launch.connectionOpen = false;
  return Failure{ConnectFailureText(error, setup.limits.connectLimit)};
}

LaunchCause TelnetLaunch::RunConnected(TelnetChannel& channel) {
  SessionSetup& setup = m_launch.setup;
  const int display = m_launch.request.target.display;
  const auto address = LocalAddressOf(m_hSocket.Get());
  if (!address) {
    return m_launch.ending.Stopped({LaunchCause::kCannotConnect, "this machine's address on the connection is unknown",
                                    Step::kAfterConnecting});
  }
  m_localAddress = *address;
  m_launch.ending.SeenAs(m_localAddress);
  m_launch.reporter.Verbose("connected; this machine is " + m_localAddress + " to the host");
  // Before anything is typed: whether a terminal can reach the display, and
  // the relay to it when the display takes no TCP connections.
  if (setup.display) {
    DisplayAccess access =
        ReachDisplay(*setup.display, m_hSocket.Get(), m_localAddress, display, setup, m_launch.abort, m_launch.reporter);
    m_relayControl = std::move(access.relayControl);
    m_cookie = std::move(access.cookie);
    m_tcpTrusted = access.tcpTrusted;
    if (access.stop) {
      return access.stop->cause == LaunchCause::kAborted ? LaunchCause::kAborted
                                                         : m_launch.ending.Stopped(std::move(*access.stop));
    }
    if (access.pending) m_pendingRelay.emplace(std::move(*access.pending));
    // The window watch's connection is made while the host logs in.
    setup.display->Prepare(display);
  }

  m_launch.reporter.Phase(SessionPhase::kLoggingIn, "logging in");
  // The login as a whole has its limit, counted from the connection.
  channel.LimitUntil(m_connectedAt + setup.limits.loginLimit);
  if (const auto stop = ReachLoginPrompt(channel)) return AfterLogin(channel, *stop);
  // The relay, started while the host came to its prompt, must serve before
  // anything is typed.
  if (auto stop = RelayNotStarted()) return m_launch.ending.Stopped(std::move(*stop));
  const auto login = TypeCredentials(channel, std::move(m_launch.request.userId),
                                     std::move(m_launch.request.password), setup.limits,
                                     [this](std::string_view note) { m_launch.reporter.Verbose(std::string(note)); });
  if (!login) {
    channel.LimitUntil(kNoDeadline);
    return LaunchRemoteTerminal(channel);
  }
  return AfterLogin(channel, *login);
}

std::optional<LaunchStop> TelnetLaunch::RelayNotStarted() {
  if (!m_pendingRelay) return std::nullopt;
  DisplayAccess relay = FinishRelay(*m_pendingRelay, m_launch.setup, m_launch.reporter);
  m_pendingRelay.reset();
  m_relayControl = std::move(relay.relayControl);
  return std::move(relay.stop);
}

LaunchCause TelnetLaunch::AfterLogin(TelnetChannel& channel, const LoginStop& login) {
  return m_launch.ending.Stopped(
      StopOfLogin(login, m_transcript->LastLine(), channel.LastSendError(), m_launch.setup.limits));
}

std::optional<LaunchCause> TelnetLaunch::InstallLaunchCookie(TelnetChannel& channel,
                                                                const std::function<void()>& meanwhile) {
  const int display = m_launch.request.target.display;
  m_launch.reporter.Verbose("installing this launch's cookie for " + m_localAddress + ":" + std::to_string(display) +
                            " with the host's xauth");
  m_transcript->Conceal(m_cookie->Hex());
  const auto stopped = InstallCookie(channel, *m_cookie, m_localAddress, display, m_launch.setup.limits,
                                     m_launch.clock, meanwhile);
  if (!stopped) return std::nullopt;
  switch (stopped->cause) {
    case LaunchCause::kHostStopped:
      return Stopped(channel, Step::kXauth, channel.LastReadStatus());
    case LaunchCause::kSendFailed:
      return SendFailed(channel, Step::kXauth);
    default:  // no xauth, or a silent one
      break;
  }
  // No terminal without the cookie: the login ends as after a launch.
  TypeExit(channel, true);
  return m_launch.ending.Stopped(*stopped);
}

LaunchCause TelnetLaunch::LaunchRemoteTerminal(TelnetChannel& channel) {
  const SessionSetup& setup = m_launch.setup;
  TerminalTarget& target = m_launch.request.target;
  // Watching starts before the command goes out, so a quick window is not
  // missed; with a cookie to install, while the host starts xauth.
  std::unique_ptr<TerminalWatch> watch;
  const auto startWatch = [&] {
    if (setup.display) watch = setup.display->Watch(m_localAddress, target.display, m_tcpTrusted, setup.limits,
                                                    m_launch.abort);
  };
  if (m_cookie) {
    if (const auto stopped = InstallLaunchCookie(channel, startWatch)) return *stopped;
  } else {
    startWatch();
  }
  auto verdict = StartTerminal(channel, TerminalProgram::Chosen(target.xterm), watch);
  if (!verdict) return SendFailed(channel, Step::kCommand);
  // No kterm: the shell is still there, and xterm may be, on the user's word.
  if (verdict->cause == LaunchCause::kProgramMissing && !target.xterm) {
    const auto answer = AskForXterm(channel);
    if (!answer) {
      if (m_launch.abort.IsTriggered()) return LaunchCause::kAborted;
      return Stopped(channel, Step::kWatch, channel.LastReadStatus());
    }
    if (*answer) {
      target.xterm = true;
      m_launch.ending.StartsXterm();
      startWatch();
      verdict = StartTerminal(channel, TerminalProgram::Chosen(true), watch);
      if (!verdict) return SendFailed(channel, Step::kCommand);
    }
  }
  if (verdict->cause == LaunchCause::kAborted) return LaunchCause::kAborted;
  // A host that is gone is not typed to any more.
  if (verdict->cause == LaunchCause::kHostStopped) return Stopped(channel, Step::kWatch, IoStatus::kUnacknowledged);
  if (verdict->cause == LaunchCause::kSendFailed) return SendFailed(channel, Step::kCommandAgain);
  // Only a launch taken on trust drains as long as the host keeps talking.
  const bool sent = TypeExit(channel, verdict->cause != LaunchCause::kAssumed);
  // A host that has not taken "exit" within the drain is gone: that, not the
  // display's port, is why no window came.
  if (sent && verdict->cause == LaunchCause::kNoWindow && !channel.AllAcknowledged()) {
    return Stopped(channel, Step::kExit, IoStatus::kUnacknowledged);
  }
  switch (verdict->cause) {
    case LaunchCause::kSeen:
      m_launch.reporter.Verbose("the terminal has started");
      return verdict->cause;
    case LaunchCause::kAssumed:
      m_launch.reporter.Verbose("the terminal could not be watched; the host said nothing against it");
      return verdict->cause;
    case LaunchCause::kLoginIncorrect:
      return m_launch.ending.Stopped(
          {LaunchCause::kLoginIncorrect, " refused the login after the command line was typed", {}, verdict->said});
    default:
      return m_launch.ending.Stopped(*verdict);
  }
}

std::optional<LaunchStop> TelnetLaunch::StartTerminal(TelnetChannel& channel, const TerminalProgram& program,
                                                         std::unique_ptr<TerminalWatch>& watch) {
  const std::string command = program.ShellCommand(m_localAddress, m_launch.request.target.display);
  m_launch.reporter.Phase(SessionPhase::kStartingTerminal, "starting the terminal");
  if (!channel.SendLine(command)) return std::nullopt;
  m_launch.reporter.Phase(SessionPhase::kWaitingForWindow,
                          watch && watch->SeesWindows() ? "waiting for the terminal's window"
                                                        : "waiting for the terminal (its window cannot be watched)");
  const LaunchStop verdict =
      LaunchWatch(channel, m_launch.abort, m_launch.clock, m_launch.setup.limits, m_launch.reporter)
          .Run(watch.get(), program, command);
  watch.reset();
  return verdict;
}

std::optional<bool> TelnetLaunch::AskForXterm(TelnetChannel& channel) {
  m_launch.reporter.Verbose("kterm was not found on the host: asking whether to start xterm instead");
  // The host's shell waits meanwhile; one that closes or stops taking what
  // was typed ends the launch, and the question with it.
  const auto answer = AskTheUser(
      m_launch, {m_launch.request.target.hostName, {}, UserQuestion::Kind::kStartXterm}, [&] {
        const IoStatus status = channel.ReadUnit(m_launch.setup.limits.watchSlice).status;
        return status == IoStatus::kOk || status == IoStatus::kTimedOut;
      });
  if (answer) m_launch.reporter.Verbose(*answer ? "the user chose to start xterm" : "the user chose not to start xterm");
  return answer;
}

bool TelnetLaunch::TypeExit(TelnetChannel& channel, bool endKnown) {
  const Limits& limits = m_launch.setup.limits;
  if (!channel.SendLine(std::string_view("exit"))) return false;
  // The drain ends with its quiet, and in any case within the read limit.
  channel.Drain(limits.drainChunk, endKnown ? limits.seenQuiet : limits.drainQuiet,
                m_launch.clock.Now() + limits.readLimit);
  return true;
}

LaunchCause TelnetLaunch::Stopped(TelnetChannel& channel, Step step, IoStatus status) {
  return m_launch.ending.Stopped(
      HostStopped(step, status, channel.LastSendError(), m_transcript->LastLine(), m_launch.setup.limits));
}

LaunchCause TelnetLaunch::SendFailed(TelnetChannel& channel, Step step) {
  return m_launch.ending.Stopped(SendFailedAt(step, channel.LastSendError()));
}

void TelnetLaunch::CloseSocket() noexcept {
  m_hSocket.Reset();
  m_launch.connectionOpen = false;
}

}  // namespace dovrel
