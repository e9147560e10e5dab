#include "login_script.h"


#include "prompt_matcher.h"
#include "shell_readiness.h"

namespace dovrel {

bool WaitForPrompt(TelnetChannel& channel, std::string_view prompt) {
  PromptMatcher matcher(prompt);
  for (;;) {
    const TelnetChannel::DataByte next = channel.ReadDataByte();
    if (next.status != IoStatus::kOk) return false;
    if (matcher.Feed(next.byte)) return true;
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
