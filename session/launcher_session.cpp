#include "launcher_session.h"

#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <utility>

#include "connector.h"
#include "login_script.h"
#include "scope_exit.h"

namespace dovrel {

namespace {

// The watch reads the host in slices this long, looking at the display
// between them.
constexpr std::chrono::milliseconds kWatchSlice{50};
// A shell quiet this long at a fresh prompt, with no echo of the command
// line, never read it.
constexpr std::chrono::milliseconds kFreshPromptQuiet{300};
// A user name typed at a "login:" that was not the prompt is typed again,
// once, when the new prompt has stood this long: a login program that took
// the first one after all answers with its echo or "Password:" sooner.
constexpr std::chrono::milliseconds kLoginAgainQuiet{500};
constexpr int kUserNameTries = 2;

std::span<const unsigned char> AsBytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

std::string Seconds(std::chrono::milliseconds limit) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g s", static_cast<double>(limit.count()) / 1000.0);
  return text;
}

// The host's last line with text in it, quoted.
std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::size_t start = text.find_last_of('\n');
  return QuoteHostText(start == std::string::npos ? text : text.substr(start + 1));
}

LaunchProblem ProblemOf(LaunchVerdict verdict) {
  switch (verdict) {
    case LaunchVerdict::kProgramMissing:
      return LaunchProblem::kProgramMissing;
    case LaunchVerdict::kDisplayRefused:
      return LaunchProblem::kDisplayRefused;
    default:
      return LaunchProblem::kDisplayFailed;
  }
}

}  // namespace

LauncherSession::LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                                 SessionSetup setup)
    : m_request(std::move(request)), m_observer(std::move(observer)), m_setup(std::move(setup)) {}

void LauncherSession::RunSession() {
  // The credentials are overwritten however the session ends.
  const ScopeExit wipe([this] {
    m_request.userId.Wipe();
    m_request.password.Wipe();
  });
  m_started = Clock().Now();
  Phase(SessionPhase::kConnecting,
        "connecting to " + m_request.hostName + " port " + std::to_string(m_setup.port));
  if (!ConnectToHost()) {
    if (m_abort.IsTriggered()) {
      m_outcome = SessionOutcome::kAborted;
      return;
    }
    m_outcome = SessionOutcome::kCannotConnect;
    m_observer->Report("dovrel: Cannot Connect: " + m_request.hostName + " port " +
                       std::to_string(m_setup.port));
    m_observer->ShowMessage(SessionMessage::kCannotConnect, {});
    return;
  }

  SessionOutcome outcome = SessionOutcome::kEnded;
  {
    TelnetChannel channel(m_hSocket.Get(), m_abort, m_setup.timing.readLimit, Clock());
    if (m_setup.verbose) {
      channel.ReportHeardTo([this](const std::string& heard) { Verbose("host: " + EscapeHostText(heard)); });
    }
    outcome = RunConnected(channel);
    VerboseHeard(channel);
  }
  CloseSocket();
  Verbose("connection closed");
  if (m_message && !m_abort.IsTriggered()) m_observer->ShowMessage(m_message->first, m_message->second);
  m_outcome = outcome;
}

bool LauncherSession::ConnectToHost() {
  const auto address = ResolveIPv4(m_request.hostName, m_setup.port);
  if (!address || m_abort.IsTriggered()) return false;
  m_hSocket = MakeStreamSocket();
  if (!m_hSocket) return false;
  m_socketOpen = true;
  if (ConnectSocket(m_hSocket.Get(), *address, m_abort)) return true;
  CloseSocket();
  return false;
}

SessionOutcome LauncherSession::RunConnected(TelnetChannel& channel) {
  const auto address = LocalAddressOf(m_hSocket.Get());
  if (!address) {
    m_observer->Report("dovrel: stopped after connecting: this machine's address on the connection is unknown");
    return Failure();
  }
  m_localAddress = *address;
  Verbose("connected; this machine is " + m_localAddress + " to the host");
  // No terminal can reach a display that takes no TCP connections: find out
  // before anything is typed.
  if (m_setup.display) {
    const auto reach = m_setup.display->CheckTcp(m_localAddress, m_request.display, m_abort);
    if (m_abort.IsTriggered()) return SessionOutcome::kAborted;
    if (reach == LocalDisplay::Reach::kRefused) return LaunchFailed(LaunchProblem::kNoTcp, {});
    Verbose(std::string("display :") + std::to_string(m_request.display) +
            (reach == LocalDisplay::Reach::kListening ? " takes TCP connections" : " did not answer in time"));
  }

  Phase(SessionPhase::kLoggingIn, "logging in");
  if (!RefuseTelnetOptions(channel)) {
    return Stopped(channel, "waiting for the host's first text", channel.LastReadStatus());
  }
  return RunLoginScript(channel);
}

SessionOutcome LauncherSession::RunLoginScript(TelnetChannel& channel) {
  IoStatus status = WaitForPrompt(channel, "login:");
  if (status != IoStatus::kOk) return Stopped(channel, "waiting for the login prompt", status);
  for (int tries = 1;; ++tries) {
    VerboseHeard(channel);
    if (!TypeLine(channel, m_request.userId.Bytes(), nullptr)) return Failure();
    const PasswordPrompt prompt = WaitForPasswordPrompt(channel, kLoginAgainQuiet);
    if (prompt.status != IoStatus::kOk) return Stopped(channel, "waiting for the password prompt", prompt.status);
    if (!prompt.loginAgain) break;
    if (tries == kUserNameTries) {
      VerboseHeard(channel);
      m_observer->Report("dovrel: the host asked for the login name again after it was typed " +
                         std::to_string(tries) + " times; its last line: \"" + LastLine(channel.LastHeard()) +
                         "\"");
      return Failure();
    }
    Verbose("a new login prompt: the user name was not taken");
  }
  m_request.userId.Wipe();
  VerboseHeard(channel);
  const bool passwordSent = TypeLine(channel, m_request.password.Bytes(), "********");
  m_request.password.Wipe();
  if (!passwordSent) return Failure();

  switch (WaitForShell(channel, m_setup.timing)) {
    case ShellState::kReady:
      return LaunchRemoteTerminal(channel);
    case ShellState::kLoginFailed:
      VerboseHeard(channel);
      m_observer->Report("dovrel: Login incorrect: " + m_request.hostName + " refused the user name or password");
      m_message.emplace(SessionMessage::kLoginIncorrect, std::string());
      return SessionOutcome::kLoginIncorrect;
    case ShellState::kGone:
      break;
  }
  return Stopped(channel, "waiting for the shell after the password", channel.LastReadStatus());
}

SessionOutcome LauncherSession::LaunchRemoteTerminal(TelnetChannel& channel) {
  // The line feed goes out with the line, in the same segment.
  std::string command = FormatRemoteCommand(m_request.xterm, m_localAddress, m_request.display);
  command.pop_back();
  // Watching starts before the command goes out, so a quick window is not missed.
  std::unique_ptr<TerminalWatch> watch =
      m_setup.display ? m_setup.display->Watch(m_localAddress, m_request.display) : nullptr;
  VerboseHeard(channel);
  Phase(SessionPhase::kStartingTerminal, "starting the terminal");
  if (!TypeLine(channel, AsBytes(command), nullptr)) return Failure();
  Phase(SessionPhase::kWaitingForWindow,
        watch && watch->SeesWindows() ? "waiting for the terminal's window"
                                      : "waiting for the terminal (its window cannot be watched)");

  LaunchWords words(m_request.xterm ? "xterm" : "kterm");
  const LaunchSign sign = WatchLaunch(channel, watch.get(), words, command);
  watch.reset();
  VerboseHeard(channel);
  if (sign == LaunchSign::kAborted) return SessionOutcome::kAborted;
  const bool sent = TypeLine(channel, AsBytes(std::string("exit")), nullptr);
  // Once the outcome is known, a short quiet lets "exit" reach the shell
  // and nothing more is waited for; only a launch taken on trust drains as
  // long as the host keeps talking.
  const bool known = sign != LaunchSign::kAssumed;
  if (sent) DrainSocket(channel, known ? m_setup.timing.seenQuiet : m_setup.timing.drainQuiet);
  // A user who closes the form during the drain has not seen the job end.
  if (m_abort.IsTriggered()) return SessionOutcome::kAborted;

  switch (sign) {
    case LaunchSign::kSeen:
      Verbose("the terminal has started");
      return SessionOutcome::kLaunched;
    case LaunchSign::kAssumed:
      Verbose("the terminal could not be watched; the host said nothing against it");
      return SessionOutcome::kLaunched;
    case LaunchSign::kNothing:
      return LaunchFailed(LaunchProblem::kNoWindow, {});
    case LaunchSign::kHostSaid:
      break;
    case LaunchSign::kAborted:
      return SessionOutcome::kAborted;
  }
  if (words.Verdict() == LaunchVerdict::kLoginIncorrect) {
    m_observer->Report("dovrel: Login incorrect: " + m_request.hostName +
                       " refused the login after the command line was typed; the host said: \"" +
                       words.Line() + "\"");
    m_message.emplace(SessionMessage::kLoginIncorrect, std::string());
    return SessionOutcome::kLoginIncorrect;
  }
  return LaunchFailed(ProblemOf(words.Verdict()), words.Line());
}

LauncherSession::LaunchSign LauncherSession::WatchLaunch(TelnetChannel& channel, TerminalWatch* watch,
                                                         LaunchWords& words, const std::string& command) {
  const SessionTiming& timing = m_setup.timing;
  const auto deadline = Clock().Now() + timing.watchLimit;
  auto lastHeard = Clock().Now();
  bool hostOpen = true;
  // The echo of every command line shows its geometry.
  UnreadCommand unread("80x25+0+0");
  bool retyped = false;
  for (;;) {
    if (m_abort.IsTriggered()) return LaunchSign::kAborted;
    const auto now = Clock().Now();
    if (watch != nullptr && watch->Seen(now)) return LaunchSign::kSeen;
    const bool seesWindows = watch != nullptr && watch->SeesWindows();
    if (now >= deadline) return seesWindows ? LaunchSign::kNothing : LaunchSign::kAssumed;
    // Without the window to watch, a host quiet after the command is taken
    // at its word, as before there was a watch.
    if (!seesWindows && (!hostOpen || now - lastHeard >= timing.drainQuiet)) return LaunchSign::kAssumed;
    const auto slice = std::min(kWatchSlice, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    if (!hostOpen) {
      if (WaitForSocket(m_abort.PollFd(), POLLIN, m_abort, slice, Clock()) == IoStatus::kAborted) {
        return LaunchSign::kAborted;
      }
      continue;
    }
    const TelnetChannel::DataByte next = channel.ReadDataByte(slice);
    if (next.status == IoStatus::kOk) {
      lastHeard = Clock().Now();
      unread.Feed(next.byte);
      if (words.Feed(next.byte)) return LaunchSign::kHostSaid;
    } else if (next.status == IoStatus::kTimedOut) {
      if (words.Paused()) return LaunchSign::kHostSaid;
      // Proof that the line was thrown away unread: type it once more.
      if (!retyped && unread.PromptWithoutEcho() && Clock().Now() - lastHeard >= kFreshPromptQuiet) {
        Verbose("a fresh prompt and no echo: the command line was not read; typing it again");
        if (!TypeLine(channel, AsBytes(command), nullptr)) return LaunchSign::kNothing;
        retyped = true;
      }
    } else if (next.status == IoStatus::kAborted) {
      return LaunchSign::kAborted;
    } else {
      hostOpen = false;
      Verbose("the host closed the connection");
    }
  }
}

SessionOutcome LauncherSession::LaunchFailed(LaunchProblem problem, const std::string& hostLine) {
  const LaunchTarget target{m_request.hostName, m_request.xterm, m_localAddress, m_request.display,
                            m_setup.timing.watchLimit};
  std::string text = DescribeLaunchProblem(problem, target, hostLine);
  m_observer->Report("dovrel: " + text);
  m_message.emplace(SessionMessage::kLaunchFailed, std::move(text));
  return SessionOutcome::kLaunchFailed;
}

SessionOutcome LauncherSession::Stopped(TelnetChannel& channel, const char* step, IoStatus status) {
  if (m_abort.IsTriggered() || status == IoStatus::kAborted) return SessionOutcome::kAborted;
  VerboseHeard(channel);
  std::string why;
  switch (status) {
    case IoStatus::kTimedOut:
      why = "the host sent nothing for " + Seconds(m_setup.timing.readLimit);
      break;
    case IoStatus::kClosed:
      why = "the host closed the connection";
      break;
    default:
      why = "the connection failed";
      break;
  }
  const std::string last = LastLine(channel.LastHeard());
  m_observer->Report("dovrel: stopped " + std::string(step) + ": " + why + "; " +
                     (last.empty() ? std::string("it sent no text") : "its last line: \"" + last + "\""));
  return SessionOutcome::kEnded;
}

bool LauncherSession::TypeLine(TelnetChannel& channel, std::span<const unsigned char> bytes,
                               const char* shown) {
  if (m_setup.verbose) {
    const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    Verbose("typed: " + (shown != nullptr ? std::string(shown) : EscapeHostText(text)) + "\\n");
  }
  return channel.SendLine(bytes);
}

void LauncherSession::Phase(SessionPhase phase, const std::string& what) {
  Verbose(what);
  m_observer->PhaseChanged(phase);
}

void LauncherSession::Verbose(const std::string& what) {
  if (!m_setup.verbose) return;
  char stamp[32];
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock().Now() - m_started);
  std::snprintf(stamp, sizeof stamp, "%.3f s", static_cast<double>(elapsed.count()) / 1e6);
  m_observer->Report("dovrel: " + std::string(stamp) + ": " + what);
}

void LauncherSession::VerboseHeard(TelnetChannel& channel) {
  const std::string heard = channel.TakeHeard();
  if (!heard.empty()) Verbose("host: " + EscapeHostText(heard));
}

WaitClock& LauncherSession::Clock() const { return m_setup.clock ? *m_setup.clock : SystemClock(); }

void LauncherSession::CloseSocket() noexcept {
  m_hSocket.Reset();
  m_socketOpen = false;
}

SessionOutcome LauncherSession::Failure() const noexcept {
  return m_abort.IsTriggered() ? SessionOutcome::kAborted : SessionOutcome::kEnded;
}

void SessionThreadProc(const std::shared_ptr<LauncherSession>& session) {
  session->RunSession();
  session->Observer().RequestClose();
}

}  // namespace dovrel
