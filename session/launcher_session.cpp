#include "launcher_session.h"

#include <span>
#include <string>
#include <utility>

#include "connector.h"
#include "login_script.h"

namespace dovrel {

namespace {

std::span<const unsigned char> AsBytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

}  // namespace

LauncherSession::LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                                 SessionTiming timing)
    : m_request(std::move(request)), m_observer(std::move(observer)), m_timing(timing) {}

void LauncherSession::RunSession() {
  if (!ConnectToHost()) {
    if (m_abort.IsTriggered()) {
      m_outcome = SessionOutcome::kAborted;
      return;
    }
    m_outcome = SessionOutcome::kCannotConnect;
    m_observer->ShowMessage(SessionMessage::kCannotConnect);
    return;
  }

  TelnetChannel channel(m_hSocket.Get(), m_abort, m_timing.readLimit);
  const SessionOutcome outcome = RefuseTelnetOptions(channel) ? RunLoginScript(channel) : Failure();
  m_stats = {channel.RecvCalls(), channel.SendCalls(), channel.BytesReceived()};
  m_request.userId.Wipe();
  m_request.password.Wipe();
  CloseSocket();
  m_outcome = outcome;
}

bool LauncherSession::ConnectToHost() {
  const auto address = ResolveIPv4(m_request.hostName, m_timing.port);
  if (!address || m_abort.IsTriggered()) return false;
  m_hSocket = MakeStreamSocket();
  if (!m_hSocket) return false;
  m_socketOpen = true;
  if (ConnectSocket(m_hSocket.Get(), *address, m_abort)) return true;
  CloseSocket();
  return false;
}

SessionOutcome LauncherSession::RunLoginScript(TelnetChannel& channel) {
  if (!WaitForPrompt(channel, "login:")) return Failure();
  const bool userSent = channel.SendLine(m_request.userId.Bytes());
  m_request.userId.Wipe();
  if (!userSent) return Failure();

  if (!WaitForPrompt(channel, "Password:")) return Failure();
  const bool passwordSent = channel.SendLine(m_request.password.Bytes());
  m_request.password.Wipe();
  if (!passwordSent) return Failure();

  switch (WaitForShell(channel, m_timing)) {
    case ShellState::kReady:
      return LaunchRemoteTerminal(channel);
    case ShellState::kLoginFailed:
      m_observer->ShowMessage(SessionMessage::kLoginIncorrect);
      return SessionOutcome::kLoginIncorrect;
    case ShellState::kGone:
      break;
  }
  return Failure();
}

SessionOutcome LauncherSession::LaunchRemoteTerminal(TelnetChannel& channel) {
  const auto address = LocalAddressOf(m_hSocket.Get());
  if (!address) return Failure();
  const std::string command = FormatRemoteCommand(m_request.xterm, *address, m_request.display);
  const std::string exitLine = "exit\n";
  if (!channel.SendData(AsBytes(command)) || !channel.SendData(AsBytes(exitLine))) {
    return Failure();
  }
  DrainSocket(channel, m_timing.drainQuiet);
  // A user who closes the form during the drain has not seen the job end.
  return m_abort.IsTriggered() ? SessionOutcome::kAborted : SessionOutcome::kLaunched;
}

void LauncherSession::CloseSocket() noexcept {
  m_hSocket.Reset();
  m_socketOpen = false;
}

SessionOutcome LauncherSession::Failure() const noexcept {
  return m_abort.IsTriggered() ? SessionOutcome::kAborted : SessionOutcome::kEnded;
}

void SessionThreadProc(const std::shared_ptr<LauncherSession>& session,
                       const std::shared_ptr<SessionObserver>& observer) {
  session->RunSession();
  observer->RequestClose();
}

}  // namespace dovrel
