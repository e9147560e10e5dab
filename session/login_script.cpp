#include "login_script.h"

#include <optional>

#include "prompt_matcher.h"
#include "shell_readiness.h"

namespace dovrel {

IoStatus WaitForPrompt(TelnetChannel& channel, std::string_view prompt) {
  PromptMatcher matcher(prompt);
  for (;;) {
    const TelnetChannel::DataByte next = channel.ReadDataByte();
    if (next.status != IoStatus::kOk) return next.status;
    if (matcher.Feed(next.byte)) return IoStatus::kOk;
  }
}

PasswordPrompt WaitForPasswordPrompt(TelnetChannel& channel, std::chrono::milliseconds promptQuiet) {
  PromptMatcher password("Password:");
  PromptMatcher login("login:");
  // Whether the latest "login:" is still the last text, blanks aside.
  bool atLoginPrompt = false;
  for (;;) {
    const TelnetChannel::DataByte next =
        atLoginPrompt ? channel.ReadDataByte(promptQuiet) : channel.ReadDataByte();
    if (atLoginPrompt && next.status == IoStatus::kTimedOut) return {IoStatus::kOk, true};
    if (next.status != IoStatus::kOk) return {next.status, false};
    if (password.Feed(next.byte)) return {IoStatus::kOk, false};
    if (login.Feed(next.byte)) {
      atLoginPrompt = true;
    } else if (next.byte != ' ' && next.byte != '\0') {
      atLoginPrompt = false;
    }
  }
}

ShellState WaitForShell(TelnetChannel& channel, const SessionTiming& timing) {
  ShellReadiness shell;
  for (;;) {
    std::chrono::milliseconds quiet = timing.readLimit;
    if (shell.EndsInShellPrompt() || shell.LoginFailed()) {
      quiet = timing.promptQuiet;
    } else if (shell.HasText()) {
      quiet = timing.textQuiet;
    }
    const TelnetChannel::DataByte next = channel.ReadDataByte(quiet);
    if (next.status == IoStatus::kTimedOut) {
      // Quiet: decide on what has arrived. With no text at all the command
      // is typed anyway, as a person would after waiting a while.
      return shell.LoginFailed() ? ShellState::kLoginFailed : ShellState::kReady;
    }
    if (next.status != IoStatus::kOk) return ShellState::kGone;
    shell.Feed(next.byte);
  }
}

std::string FormatRemoteCommand(bool xterm, std::string_view address, int display) {
  std::string line = xterm ? "xterm" : "kterm";
  line += " -geometry 80x25+0+0 -display ";
  line += address;
  line += ':';
  line += std::to_string(display);
  line += " &\n";
  return line;
}

void DrainSocket(TelnetChannel& channel, std::chrono::milliseconds quietLimit) {
  channel.Discard(100, quietLimit);
}

}  // namespace dovrel
