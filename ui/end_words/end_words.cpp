#include "ui/end_words/end_words.h"

#include "common/base/ports.h"
#include "session/host_text/host_text.h"
#include "session/launch/terminal_program.h"
#include "ui/end_words/ssh_end_words.h"

namespace dovrel {

namespace {

constexpr const char* kContext = "Launch";

// What kind of end a cause is: the one place that sorts every cause.
enum class EndKind {
  kNone,            // no launch ended, or the user closed the form first
  kStarted,         // the terminal started
  kLineOnly,        // the line says where the host stopped it; no box
  kCannotConnect,   // the system's "Cannot Connect"
  kLoginIncorrect,  // "Login incorrect"
  kLaunchFailed,    // why the terminal did not start, in DescribeLaunchProblem's words
};

constexpr EndKind KindOf(LaunchCause cause) {
  switch (cause) {
    case LaunchCause::kUndecided:
    case LaunchCause::kAborted:
      return EndKind::kNone;
    case LaunchCause::kSeen:
    case LaunchCause::kAssumed:
      return EndKind::kStarted;
    case LaunchCause::kHostStopped:
    case LaunchCause::kSendFailed:
    case LaunchCause::kNameNotTaken:
      return EndKind::kLineOnly;
    case LaunchCause::kCannotConnect:
      return EndKind::kCannotConnect;
    case LaunchCause::kLoginIncorrect:
      return EndKind::kLoginIncorrect;
    case LaunchCause::kNoTcp:
    case LaunchCause::kNoXServer:
    case LaunchCause::kForeignListener:
    case LaunchCause::kListenerUnknown:
    case LaunchCause::kListenerNotX:
    case LaunchCause::kTrustHostLocal:
    case LaunchCause::kRelayFailed:
    case LaunchCause::kJoinRefused:
    case LaunchCause::kNoXauth:
    case LaunchCause::kXauthSilent:
    case LaunchCause::kProgramMissing:
    case LaunchCause::kDisplayRefused:
    case LaunchCause::kDisplayFailed:
    case LaunchCause::kNoWindow:
    case LaunchCause::kSshMissing:
    case LaunchCause::kNoLocalXauth:
    case LaunchCause::kHostKeyUnknown:
    case LaunchCause::kHostKeyChanged:
    case LaunchCause::kPasswordExpired:
    case LaunchCause::kSshQuestion:
    case LaunchCause::kX11Refused:
    case LaunchCause::kNoRemoteXauth:
    case LaunchCause::kNoSecurity:
      return EndKind::kLaunchFailed;
  }
  return EndKind::kNone;
}

}  // namespace

std::optional<EndBox> BoxOf(const SessionEnd& end) {
  if (end.byUser) return std::nullopt;
  switch (KindOf(end.cause)) {
    case EndKind::kNone:
    case EndKind::kStarted:
    case EndKind::kLineOnly:
      return std::nullopt;
    case EndKind::kCannotConnect:
      return EndBox::kCannotConnect;
    case EndKind::kLoginIncorrect:
      return EndBox::kLoginIncorrect;
    case EndKind::kLaunchFailed:
      return EndBox::kLaunchFailed;
  }
  return std::nullopt;
}

std::string QuestionWords(const UserQuestion& question) { return QuoteHostText(question.text, "\n"); }

std::optional<std::string> FailureLine(const SessionEnd& end) {
  // What the host said, in quotes where a line quotes it.
  const std::string said = end.said ? QuoteHostText(*end.said) : std::string();
  if (end.step) {
    std::string line = "stopped " + std::string(StepText(*end.step)) + ": " + end.detail;
    if (end.said) line += said.empty() ? "; it sent no text" : "; its last line: \"" + said + "\"";
    return line;
  }
  const std::string& host = end.target.hostName;
  switch (KindOf(end.cause)) {
    case EndKind::kNone:
    case EndKind::kStarted:
      return std::nullopt;
    case EndKind::kCannotConnect:
      return "Cannot Connect: " + end.detail + (said.empty() ? "" : ": " + said);
    case EndKind::kLoginIncorrect:
      if (!end.said) return "Login incorrect: " + host + end.detail;
      // ssh's own line names the methods refused; the shell's is the host's.
      if (end.target.overSsh) return "Login incorrect: " + host + end.detail + (said.empty() ? "" : ": " + said);
      return "Login incorrect: " + host + end.detail + "; the host said: \"" + said + "\"";
    case EndKind::kLineOnly:
      if (end.cause != LaunchCause::kNameNotTaken) return "stopped: " + end.detail;
      return "the host asked for the login name again after it was typed " + end.detail + "; its last line: \"" +
             said + "\"";
    case EndKind::kLaunchFailed:
      if (end.cause == LaunchCause::kHostKeyUnknown && end.byUser) {
        return "the host key of " + host + " was not accepted; nothing was sent there";
      }
      // Standard error in English in every locale, for scripts and bug reports.
      return DescribeLaunchProblem(end);
  }
  return std::nullopt;
}

std::string DescribeLaunchProblem(const SessionEnd& end, const Translate& translate) {
  const LaunchTarget& target = end.target;
  const std::string& detail = end.detail;
  const std::string hostSaid = end.said ? QuoteHostText(*end.said) : std::string();
  const std::string program(TerminalProgram::Chosen(target.xterm).name);
  const std::string display = std::to_string(target.display);
  const std::string port = std::to_string(X11TcpPort(target.display));
  const std::string where = target.address + ":" + display;
  const auto text = [&](const char* source, std::initializer_list<std::string_view> arguments) {
    return Fill(translate(kContext, source), arguments);
  };
  std::string said;
  if (target.overSsh) {
    if (auto sshText = DescribeSshProblem(end, translate)) return *sshText;
  }
  switch (end.cause) {
    case LaunchCause::kNoTcp:
      return text(DOVREL_TR_NOOP("Launch",
                                 "The X server of display :%1 does not accept TCP connections (nothing answers at %2 "
                                 "port %3), so no terminal can reach it; nothing was typed on %4. Let the X server "
                                 "listen on TCP: start it with -listen tcp (display managers often start it with "
                                 "-nolisten tcp)."),
                  {display, target.address, port, target.hostName});
    case LaunchCause::kNoXServer:
      return text(DOVREL_TR_NOOP("Launch",
                                 "There is no X server on display :%1 of this machine: nothing answers at %2 port %3 "
                                 "and there is no local socket %5; nothing was typed on %4. Start the "
                                 "X server, or name the display it runs on after the host name."),
                  {display, target.address, port, target.hostName, X11LocalSocketPath(target.display)});
    case LaunchCause::kForeignListener:
      return text(DOVREL_TR_NOOP("Launch",
                                 "TCP port %1 of %2, where the terminal would reach display :%3, is held by uid %4, "
                                 "neither root nor you: the terminal, logged in as you, would show on that user's X "
                                 "server. Nothing was typed on %5."),
                  {port, target.address, display, detail, target.hostName});
    case LaunchCause::kListenerUnknown:
      return text(DOVREL_TR_NOOP("Launch",
                                 "Who listens on TCP port %1 of %2 for display :%3 could not be told, so nothing was "
                                 "typed on %4: the terminal is sent only to an X server of root's or yours."),
                  {port, target.address, display, target.hostName});
    case LaunchCause::kListenerNotX:
      return text(DOVREL_TR_NOOP("Launch",
                                 "TCP port %1 of %2, where the terminal would reach display :%3, is held by root but "
                                 "does not answer as an X server (a port forwarder, say), so nothing was typed on %4: "
                                 "the terminal is sent only to an X server of root's or yours."),
                  {port, target.address, display, target.hostName});
    case LaunchCause::kTrustHostLocal:
      return text(DOVREL_TR_NOOP("Launch",
                                 "--trust-host lets in whatever connects from the host's address, and %1 is this "
                                 "machine: every local user could reach display :%2. Nothing was typed. Run dovrel "
                                 "without --trust-host."),
                  {target.hostName, display});
    case LaunchCause::kRelayFailed:
      return text(DOVREL_TR_NOOP("Launch",
                                 "Display :%1 could not be served for %2: %3. Nothing was typed there."),
                  {display, target.hostName, detail});
    case LaunchCause::kJoinRefused:
      return text(DOVREL_TR_NOOP("Launch",
                                 "Display :%1 is already served by the relay of an earlier launch, which does not "
                                 "take this one: %2. Nothing was typed on %3. Wait until the earlier launch's terminal "
                                 "has ended, then try again."),
                  {display, detail, target.hostName});
    case LaunchCause::kNoXauth:
      said = text(DOVREL_TR_NOOP("Launch",
                                 "xauth was not found on %1, so this launch's cookie could not be installed there and "
                                 "no terminal was started. Install xauth on %1, or run dovrel with --trust-host: then "
                                 "every user of %1 can reach display :%2 while the terminal lives."),
                  {target.hostName, display});
      break;
    case LaunchCause::kXauthSilent:
      said = text(DOVREL_TR_NOOP("Launch",
                                 "xauth on %1 did not answer, so this launch's cookie was not installed and no "
                                 "terminal was started. Check xauth on %1, or run dovrel with --trust-host: then "
                                 "every user of %1 can reach display :%2 while the terminal lives."),
                  {target.hostName, display});
      break;
    case LaunchCause::kProgramMissing:
      said = target.xterm ? text(DOVREL_TR_NOOP("Launch",
                                                "%1 was not found on %2, so no terminal was started. Install %1 "
                                                "there."),
                                 {program, target.hostName})
                          : text(DOVREL_TR_NOOP("Launch",
                                                "%1 was not found on %2, so no terminal was started. Install %1 "
                                                "there, or add x to the command line to start xterm instead."),
                                 {program, target.hostName});
      break;
    case LaunchCause::kDisplayRefused:
      said = text(DOVREL_TR_NOOP("Launch",
                                 "The X server of display :%1 refused the terminal from %2. Give the remote user this "
                                 "display's cookie (here: xauth extract - %3, there: xauth merge -), or allow the "
                                 "host with xhost +%2."),
                  {display, target.hostName, where});
      break;
    case LaunchCause::kDisplayFailed:
      said = text(DOVREL_TR_NOOP("Launch",
                                 "The terminal on %1 could not open the display %2. Check that %1 can reach %3, TCP "
                                 "port %4."),
                  {target.hostName, where, target.address, port});
      break;
    case LaunchCause::kNoWindow:
      return text(DOVREL_TR_NOOP("Launch",
                                 "No terminal window appeared on display :%1 within %2 s, and %3 said nothing: a "
                                 "firewall may drop connections to port %4 of %5. The terminal may still appear "
                                 "later."),
                  {display, std::to_string(std::chrono::duration_cast<std::chrono::seconds>(target.watchLimit).count()),
                   target.hostName, port, target.address});
    // No box of these words: a started terminal, an end the user made or
    // one that a box of its own or the standard-error line tells; and over
    // telnet, what only ssh can find.
    case LaunchCause::kUndecided:
    case LaunchCause::kSeen:
    case LaunchCause::kAssumed:
    case LaunchCause::kAborted:
    case LaunchCause::kCannotConnect:
    case LaunchCause::kLoginIncorrect:
    case LaunchCause::kNameNotTaken:
    case LaunchCause::kHostStopped:
    case LaunchCause::kSendFailed:
    case LaunchCause::kSshMissing:
    case LaunchCause::kNoLocalXauth:
    case LaunchCause::kHostKeyUnknown:
    case LaunchCause::kHostKeyChanged:
    case LaunchCause::kPasswordExpired:
    case LaunchCause::kSshQuestion:
    case LaunchCause::kX11Refused:
    case LaunchCause::kNoRemoteXauth:
    case LaunchCause::kNoSecurity:
      return text(DOVREL_TR_NOOP("Launch", "The terminal did not start on display :%1."), {display});
  }
  if (!hostSaid.empty()) said += text(DOVREL_TR_NOOP("Launch", " The host said: \"%1\""), {hostSaid});
  return said;
}

}  // namespace dovrel
