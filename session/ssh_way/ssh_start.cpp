// The launch over ssh up to ssh's start: its configuration, the checks of
// the display's socket, the askpass socket and ssh's log pipe.

#include "session/ssh_way/ssh_launch.h"

#include <unistd.h>

#include <cerrno>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/base/askpass_protocol.h"
#include "common/base/ports.h"
#include "session/launch/terminal_program.h"
#include "common/net/error_text.h"

namespace dovrel {

namespace {

std::string Text(std::span<const unsigned char> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// ssh's own askpass settings are a launch's, never inherited ones.
std::vector<std::string> InheritedAskpassVariables() {
  return {"SSH_ASKPASS", "SSH_ASKPASS_REQUIRE", std::string(kAskpassSocketVariable)};
}

}  // namespace

std::optional<std::string> RunSshConfig(const SshOptions& options, int display, std::chrono::milliseconds limit,
                                        const AbortSignal& abort, int& startError) {
  return RunForOutput(SshConfigArguments(options),
                      EnvironmentWith(InheritedAskpassVariables(), {"DISPLAY=" + LocalDisplayName(display)}),
                      limit, abort, startError);
}

std::optional<LaunchStop> SshLaunch::Prepare() {
  const int display = m_request.target.display;
  m_options.program = m_setup.sshProgram;
  m_options.hostName = m_request.target.hostName;
  m_options.userName = Text(m_request.userId.Bytes());
  m_options.untrusted = m_setup.options.untrusted;
  m_options.passwordOffered = !m_request.password.Empty();
  const TerminalProgram program = TerminalProgram::Chosen(m_request.target.xterm);
  m_options.remoteCommand = SshRemoteCommand(program.name, TerminalProgram::kGeometry);
  if (m_setup.askpassProgram.empty() || ::access(m_setup.askpassProgram.c_str(), X_OK) != 0) {
    m_reporter.Line("cannot use ssh: the askpass helper dovrel-askpass is not installed beside dovrel");
    return Ended(LaunchCause::kSshMissing);
  }
  // ssh opens the display by its local socket, and checks no owner: the
  // terminal, logged in as this user, is sent only to root's or this user's
  // X server.
  if (m_setup.display) {
    if (!m_setup.display->HasLocalSocket(display)) return Ended(LaunchCause::kNoXServer);
    // The xauth that ssh runs tries the abstract name before the file, and
    // checks no owner: the name stays this launch's, or the X server's that
    // is checked here, until the launch ends.
    auto hold = m_setup.display->HoldAbstractName(display);
    if (!hold.socket && !hold.takenAlready) {
      m_reporter.Line("cannot use ssh: the abstract socket name of display " + LocalDisplayName(display) +
                      " cannot be held for the launch: " + ErrorText(errno));
      return Ended(LaunchCause::kForeignListener);
    }
    m_nameHold = std::move(hold.socket);
    if (!m_setup.display->LocalSocketTrusted(display)) return Ended(LaunchCause::kForeignListener);
  }
  // Read while the form was up, where it was read for this user.
  const auto& ahead = m_setup.sshConfigAhead;
  int startError = 0;
  const auto config = ahead && ahead->user == m_options.userName
                          ? std::optional<std::string>(ahead->output)
                          : RunSshConfig(m_options, display, m_setup.limits.sshConfigLimit, m_abort, startError);
  if (m_abort.IsTriggered()) return Ended(LaunchCause::kAborted);
  if (!config) {
    if (startError == ENOENT) return Ended(LaunchCause::kSshMissing);
    return Ended(LaunchCause::kCannotConnect, m_request.target.hostName + ": ssh -G refused the host or the user name");
  }
  m_config = ReadSshConfig(*config);
  if (m_config.hostName.empty()) m_config.hostName = m_request.target.hostName;
  const std::string xauth = m_config.xauthLocation.empty() ? "/usr/bin/xauth" : m_config.xauthLocation;
  if (::access(xauth.c_str(), X_OK) != 0) return Ended(LaunchCause::kNoLocalXauth, xauth);
  // Never weaker than asking; a configuration that asks or refuses stands.
  m_options.askHostKeys = m_config.strictHostKeyChecking == "false" || m_config.strictHostKeyChecking == "no";
  if (!m_askpass.Open() || !(m_log = m_askpass.OpenLog())) {
    m_reporter.Line("cannot use ssh: no socket for its questions or pipe for its log: " + ErrorText(errno));
    return Ended(LaunchCause::kSshMissing);
  }
  m_options.logFile = m_askpass.LogPath();
  if (m_setup.display) m_watch = m_setup.display->WatchWindows(display, m_setup.limits, m_abort);
  const std::vector<std::string> withAskpass = EnvironmentWith(
      InheritedAskpassVariables(), {"DISPLAY=" + LocalDisplayName(display), "SSH_ASKPASS=" + m_setup.askpassProgram,
                                    "SSH_ASKPASS_REQUIRE=force",
                                    std::string(kAskpassSocketVariable) + "=" + m_askpass.SocketPath()});
  const auto arguments = SshArguments(m_options, m_setup.limits);
  m_reporter.Phase(SessionPhase::kConnecting, "starting ssh to " + m_request.target.hostName + " (" +
                                                  m_config.hostName + "), display " + LocalDisplayName(display));
  int error = 0;
  m_ssh = SshProcess::Start(arguments, withAskpass, m_setup.askpassProgram, error);
  if (!m_ssh.Running()) {
    if (error == ENOENT) return Ended(LaunchCause::kSshMissing);
    m_reporter.Line("cannot start ssh: " + ErrorText(error));
    return Ended(LaunchCause::kSshMissing);
  }
  m_askpass.Admit(m_ssh.Pid());
  m_started = m_clock.Now();
  return std::nullopt;
}

}  // namespace dovrel
