#include "ui/end_words/ssh_end_words.h"

#include "common/base/ports.h"
#include "session/host_text/host_text.h"
#include "session/launch/terminal_program.h"

namespace dovrel {

namespace {

constexpr const char* kContext = "Launch";

// The program's remedy where the command runs without a login.
std::string ProgramMissingOverSsh(const LaunchTarget& target, const Translate& translate) {
  const std::string program(TerminalProgram::Chosen(target.xterm).name);
  std::string said = Fill(
      translate(kContext, DOVREL_TR_NOOP("Launch",
                                         "%1 was not found on %2, so no terminal was started. ssh runs it in your "
                                         "shell without a login, so a %1 found only through the PATH that "
                                         "~/.profile sets is not found: install %1 where the system's PATH "
                                         "reaches, or set PATH in ~/.bashrc or ~/.zshenv.")),
      {program, target.hostName});
  if (!target.xterm) {
    said += translate(kContext, DOVREL_TR_NOOP("Launch", " Or add x to the command line to start xterm."));
  }
  return said;
}

}  // namespace

std::optional<std::string> DescribeSshProblem(const SessionEnd& end, const Translate& translate) {
  const LaunchTarget& target = end.target;
  const std::string& detail = end.detail;
  const std::string hostSaid = end.said ? QuoteHostText(*end.said) : std::string();
  const std::string display = std::to_string(target.display);
  const auto text = [&](const char* source, std::initializer_list<std::string_view> arguments) {
    return Fill(translate(kContext, source), arguments);
  };
  switch (end.cause) {
    case LaunchCause::kSshMissing:
      return text(DOVREL_TR_NOOP("Launch",
                                 "--ssh needs the ssh client and dovrel's askpass helper, and one of them is not "
                                 "installed on this machine. Install the openssh-client package (and dovrel's own "
                                 "package complete), or log in without --ssh."),
                  {});
    case LaunchCause::kNoLocalXauth:
      return text(DOVREL_TR_NOOP("Launch",
                                 "xauth is not installed on this machine (%1), and ssh needs it to hand display :%2 "
                                 "to %3. Install the xauth package."),
                  {detail, display, target.hostName});
    case LaunchCause::kHostKeyUnknown:
      return text(DOVREL_TR_NOOP("Launch",
                                 "The host key of %1 is not known to ssh and was not accepted, so nothing was sent "
                                 "there. Add the key to ~/.ssh/known_hosts once you have checked its fingerprint."),
                  {target.hostName});
    case LaunchCause::kHostKeyChanged:
      return text(DOVREL_TR_NOOP("Launch",
                                 "The host key of %1 differs from the one ssh recorded (%2). Someone may be "
                                 "pretending to be the host, or its key was replaced: ssh refused to log in. Ask the "
                                 "host's administrator; if the key was replaced, remove the old one with "
                                 "ssh-keygen -R %1."),
                  {target.hostName, hostSaid});
    case LaunchCause::kPasswordExpired:
      return text(DOVREL_TR_NOOP("Launch",
                                 "%1 wants your password changed before it lets you in (it said: \"%2\"). Change "
                                 "it with ssh in a terminal, then start the terminal again."),
                  {target.hostName, hostSaid});
    case LaunchCause::kSshQuestion:
      return text(DOVREL_TR_NOOP("Launch",
                                 "ssh asked a question the form cannot answer: \"%1\". Nothing was answered. Log in "
                                 "once with ssh in a terminal, or ask the host's administrator."),
                  {hostSaid});
    case LaunchCause::kX11Refused:
      return text(DOVREL_TR_NOOP("Launch",
                                 "The ssh server of %1 refuses to forward X11, so no terminal can reach display :%2 "
                                 "through it. Ask the host's administrator to set X11Forwarding yes in its "
                                 "sshd_config."),
                  {target.hostName, display});
    case LaunchCause::kNoRemoteXauth:
      return text(DOVREL_TR_NOOP("Launch",
                                 "%1 has no xauth program, so its ssh server cannot forward X11 and no terminal can "
                                 "reach display :%2. Ask the host's administrator to install xauth there."),
                  {target.hostName, display});
    case LaunchCause::kNoSecurity:
      return text(DOVREL_TR_NOOP("Launch",
                                 "--untrusted needs the X server's SECURITY extension, and display :%1 has none "
                                 "(Xwayland has none), so no untrusted forwarding could be set up. Run dovrel "
                                 "without --untrusted, or on an X server with the extension."),
                  {display});
    case LaunchCause::kForeignListener:
      return text(DOVREL_TR_NOOP("Launch",
                                 "The local socket of display :%1 (%2) is held by a user who is neither root nor "
                                 "you: the terminal, logged in as you, would show on that user's X server. ssh was "
                                 "not started."),
                  {display, X11LocalSocketPath(target.display)});
    case LaunchCause::kNoXServer:
      return text(DOVREL_TR_NOOP("Launch",
                                 "There is no X server on display :%1 of this machine (no local socket %2); ssh was "
                                 "not started. Start the X server, or name the display it runs on after the host "
                                 "name."),
                  {display, X11LocalSocketPath(target.display)});
    case LaunchCause::kProgramMissing: {
      std::string said = ProgramMissingOverSsh(target, translate);
      if (!hostSaid.empty()) said += text(DOVREL_TR_NOOP("Launch", " The host said: \"%1\""), {hostSaid});
      return said;
    }
    case LaunchCause::kDisplayRefused:
    case LaunchCause::kDisplayFailed: {
      std::string said = text(DOVREL_TR_NOOP("Launch",
                                             "The terminal on %1 could not open the display that ssh forwards to "
                                             "display :%2."),
                              {target.hostName, display});
      if (!hostSaid.empty()) said += text(DOVREL_TR_NOOP("Launch", " The host said: \"%1\""), {hostSaid});
      return said;
    }
    case LaunchCause::kNoWindow:
      return text(DOVREL_TR_NOOP("Launch",
                                 "No terminal window appeared on display :%1 within %2 s of the login on %3, and "
                                 "the host said nothing against it. The terminal may still appear later; ssh runs "
                                 "on for it."),
                  {display,
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(target.watchLimit).count()),
                   target.hostName});
    // The same words as over telnet, or no box of these words.
    case LaunchCause::kUndecided:
    case LaunchCause::kSeen:
    case LaunchCause::kAssumed:
    case LaunchCause::kAborted:
    case LaunchCause::kCannotConnect:
    case LaunchCause::kLoginIncorrect:
    case LaunchCause::kNameNotTaken:
    case LaunchCause::kHostStopped:
    case LaunchCause::kSendFailed:
    case LaunchCause::kNoTcp:
    case LaunchCause::kListenerUnknown:
    case LaunchCause::kListenerNotX:
    case LaunchCause::kTrustHostLocal:
    case LaunchCause::kRelayFailed:
    case LaunchCause::kJoinRefused:
    case LaunchCause::kNoXauth:
    case LaunchCause::kXauthSilent:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace dovrel
