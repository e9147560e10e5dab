#include "session/ssh_way/ssh_launch.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>
#include <utility>

#include "common/base/askpass_protocol.h"
#include "common/base/ports.h"
#include "session/launch/terminal_program.h"
#include "common/net/error_text.h"
#include "session/host_text/host_text.h"
#include "session/ssh_way/askpass_prompt.h"

namespace dovrel {

namespace {


}  // namespace

SshLaunch::SshLaunch(const SessionRequest& request, const SessionSetup& setup, const AbortSignal& abort,
                     SessionObserver& observer, Reporter& reporter, WaitClock& clock)
    : m_request(request),
      m_setup(setup),
      m_abort(abort),
      m_observer(observer),
      m_reporter(reporter),
      m_clock(clock),
      m_words(std::string(TerminalProgram::Chosen(request.target.xterm).name)) {}

LaunchStop SshLaunch::Run() {
  if (auto failed = Prepare()) return *failed;
  for (;;) {
    if (auto ended = Step()) return *ended;
  }
}

std::chrono::steady_clock::time_point SshLaunch::Deadline() const {
  if (m_authenticatedAt) return *m_authenticatedAt + m_setup.limits.watchLimit;
  auto deadline = m_started + m_setup.limits.sshLoginLimit + m_paused;
  // The user's time with the host key does not count.
  if (m_pending) deadline += m_clock.Now() - m_askedAt;
  return deadline;
}

std::optional<LaunchStop> SshLaunch::Step() {
  std::array<pollfd, 5> fds{{{m_abort.PollFd(), POLLIN, 0},
                             {m_ssh.ErrorOutput(), POLLIN, 0},
                             {m_askpass.Listener(), POLLIN, 0},
                             {m_slot ? m_slot->PollFd() : -1, POLLIN, 0},
                             {m_log.Get(), POLLIN, 0}}};
  m_clock.Poll(fds, m_setup.limits.watchSlice);
  if (m_abort.IsTriggered()) return Ended(LaunchCause::kAborted);
  if (fds[1].revents != 0 || fds[4].revents != 0) ReadWords(fds[4].revents != 0);
  if (fds[2].revents != 0) {
    if (auto request = m_askpass.Accept(m_setup.limits.askpassRequestLimit, m_abort, m_clock)) {
      if (auto ended = OnRequest(std::move(*request))) return ended;
    }
  }
  if (m_slot && m_slot->Answer()) {
    if (auto ended = OnAnswer()) return ended;
  }
  const auto now = m_clock.Now();
  if (m_watch && m_watch->Seen(now)) {
    m_reporter.Verbose("the terminal's window is on the display; ssh runs on with it");
    m_ssh.LetGo();
    return LaunchStop{LaunchCause::kSeen};
  }
  if (m_words.Verdict() != LaunchCause::kUndecided) return Ended(m_words.Verdict(), m_words.Said());
  if (m_ssh.ErrorOutput() < 0) {
    if (const auto status = m_ssh.Exited()) {
      DrainLog();
      return AfterExit(*status);
    }
  }
  if (!m_pending && now >= Deadline()) {
    if (m_authenticatedAt && m_words.X11Refused()) {
      m_words.Finish(-1);
      return Ended(m_words.Verdict(), m_words.Said());
    }
    if (m_authenticatedAt) {
      // The window may still come: ssh runs on for it.
      m_ssh.LetGo();
      return LaunchStop{m_watch && m_watch->SeesWindows() ? LaunchCause::kNoWindow : LaunchCause::kAssumed};
    }
    return Ended({LaunchCause::kHostStopped,
                  "no answer from " + m_request.target.hostName + " within " +
                      std::to_string(m_setup.limits.sshLoginLimit.count() / 1000) + " s",
                  m_words.Connected() ? Step::kSshAuthenticating : Step::kSshConnecting});
  }
  return std::nullopt;
}

void SshLaunch::ReadWords(bool logReady) {
  // The log first: whether ssh has logged in yet tells the banner from the
  // remote command's output, which ssh writes after it says so.
  if (logReady) DrainLog();
  std::string output;
  m_ssh.ReadErrors(output);
  m_words.FeedOutput(output);
  m_words.ForEachNewLine([this](const std::string& line) { m_reporter.Verbose(line); });
  Phases();
}

void SshLaunch::DrainLog() {
  if (!m_log) return;
  std::array<pollfd, 1> ready{{{m_log.Get(), POLLIN, 0}}};
  // A pipe nobody has opened to write reads as ended: only what poll says.
  if (::poll(ready.data(), ready.size(), 0) <= 0) return;
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = ::read(m_log.Get(), buffer.data(), buffer.size());
    if (got > 0) {
      m_words.FeedLog(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 && (ready[0].revents & POLLHUP) != 0) m_log.Reset();
    break;
  }
  m_words.ForEachNewLine([this](const std::string& line) { m_reporter.Verbose(line); });
  Phases();
}

void SshLaunch::Phases() {
  if (m_words.Connected() && !m_connectedSaid) {
    m_connectedSaid = true;
    m_reporter.Phase(SessionPhase::kLoggingIn, "connected; ssh is logging in");
  }
  if (m_words.Authenticated() && !m_authenticatedAt) {
    m_authenticatedAt = m_clock.Now();
    m_reporter.Phase(SessionPhase::kStartingTerminal, "logged in; starting the terminal");
  }
  if (m_words.CommandSent() && !m_commandSaid) {
    m_commandSaid = true;
    m_reporter.Phase(SessionPhase::kWaitingForWindow, "waiting for the terminal's window");
  }
}

std::optional<LaunchStop> SshLaunch::OnRequest(AskpassRequest request) {
  // What ssh logged before it asked tells whether it is checking the key.
  DrainLog();
  const std::string& host = m_config.hostKeyAlias.empty() ? m_config.hostName : m_config.hostKeyAlias;
  const PromptKind kind = ClassifyPrompt(
      request.prompt, {request.hint, m_options.userName, host, m_words.CheckingHostKey()});
  const HostWords asked(request.prompt);
  m_reporter.Verbose("ssh asks: \"" + EscapeHostText(request.prompt) + "\"");
  switch (kind) {
    case PromptKind::kNotice:
      m_reporter.Line("ssh: " + QuoteHostText(asked));
      AskpassServer::Refuse(request);
      return std::nullopt;
    case PromptKind::kPassphrase:
      // Not the form's password: ssh goes on without the key.
      AskpassServer::Refuse(request);
      return std::nullopt;
    case PromptKind::kPassword: {
      // Only the destination's own ssh gets it, once per method: a second
      // prompt is a refusal, and what ssh would send next is nothing.
      bool& given = request.prompt.front() == '(' ? m_keyboardPasswordGiven : m_passwordGiven;
      if (!request.fromClient) return Ended(LaunchCause::kSshQuestion, asked);
      if (given || m_request.password.Empty()) {
        return Ended(LaunchCause::kLoginIncorrect, "it asked for the password again");
      }
      given = true;
      AskpassServer::Answer(request, m_request.password.Bytes());
      return std::nullopt;
    }
    case PromptKind::kHostKey:
      if (!request.fromClient) return Ended(LaunchCause::kSshQuestion, asked);
      m_slot = std::make_shared<AnswerSlot>();
      m_askedAt = m_clock.Now();
      m_observer.Ask({m_request.target.hostName, asked}, m_slot);
      m_pending = std::move(request);
      return std::nullopt;
    case PromptKind::kPasswordChange:
      return Ended(LaunchCause::kPasswordExpired, asked);
    case PromptKind::kOther:
      break;
  }
  return Ended(LaunchCause::kSshQuestion, asked);
}

std::optional<LaunchStop> SshLaunch::OnAnswer() {
  const bool yes = *m_slot->Answer();
  m_paused += m_clock.Now() - m_askedAt;
  m_slot.reset();
  AskpassRequest request = std::move(*m_pending);
  m_pending.reset();
  if (!yes) {
    m_declined = true;
    AskpassServer::Answer(request, std::span(reinterpret_cast<const unsigned char*>("no"), 2));
    return Ended(LaunchCause::kHostKeyUnknown);
  }
  m_reporter.Verbose("the user accepted the host key");
  AskpassServer::Answer(request, std::span(reinterpret_cast<const unsigned char*>("yes"), 3));
  return std::nullopt;
}

std::optional<LaunchStop> SshLaunch::AfterExit(int status) {
  m_reporter.Verbose("ssh ended with status " + std::to_string(status));
  m_words.Finish(status);
  m_words.ForEachNewLine([this](const std::string& line) { m_reporter.Verbose(line); });
  if (m_words.Verdict() != LaunchCause::kUndecided) return Ended(m_words.Verdict(), m_words.Said());
  if (!m_words.Authenticated()) {
    if (m_words.LastSaid().Empty()) {
      return Ended(LaunchCause::kCannotConnect,
                   m_request.target.hostName + ": ssh ended with status " + std::to_string(status));
    }
    return Ended({LaunchCause::kCannotConnect, m_request.target.hostName, {}, m_words.LastSaid()});
  }
  if (m_words.ExitStatus() == 127) return Ended(LaunchCause::kProgramMissing);
  return Ended({LaunchCause::kHostStopped,
                "ssh ended with status " + std::to_string(status) + " before the terminal's window appeared",
                Step::kWatch});
}

LaunchStop SshLaunch::Ended(LaunchStop stop) {
  if (m_pending) AskpassServer::Refuse(*m_pending);
  m_pending.reset();
  m_ssh.End(m_setup.limits.sshEndLimit);
  return stop;
}

}  // namespace dovrel
