#include "session/login/login_dialogue.h"

#include <string>
#include <utility>

#include "session/host_text/host_text.h"
#include "session/host_text/prompt_matcher.h"
#include "session/host_text/shell_readiness.h"

namespace dovrel {

namespace {

using Stage = LoginStop::Stage;

LoginStop Stopped(Stage stage, IoStatus status) { return {LoginStop::Kind::kHostStopped, stage, status, 0}; }

LoginStop SendFailed(Stage stage) { return {LoginStop::Kind::kSendFailed, stage, IoStatus::kFailed, 0}; }

}  // namespace

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
  std::string line;  // the current line, NUL and CR left out
  // Whether a login prompt is still the last text, blanks aside.
  bool atLoginPrompt = false;
  for (;;) {
    const TelnetChannel::DataByte next =
        atLoginPrompt ? channel.ReadDataByte(promptQuiet) : channel.ReadDataByte();
    if (atLoginPrompt && next.status == IoStatus::kTimedOut) return {IoStatus::kOk, true};
    if (next.status != IoStatus::kOk) return {next.status, false};
    if (password.Feed(next.byte)) return {IoStatus::kOk, false};
    if (next.byte == '\n') {
      line.clear();
      atLoginPrompt = false;
      continue;
    }
    if (next.byte == '\0' || next.byte == '\r') continue;
    if (line.size() == kHostLineLength) line.erase(0, 1);
    line.push_back(static_cast<char>(next.byte));
    // Only a colon can complete the prompt; any other text after it ends it.
    if (next.byte == ':') {
      atLoginPrompt = IsLoginPrompt(line);
    } else if (next.byte != ' ') {
      atLoginPrompt = false;
    }
  }
}

std::optional<LoginStop> WaitForShell(TelnetChannel& channel, const Limits& limits) {
  ShellReadiness shell;
  for (;;) {
    std::chrono::milliseconds quiet = limits.readLimit;
    if (shell.EndsInShellPrompt() || shell.LoginFailed()) {
      quiet = limits.promptQuiet;
    } else if (shell.HasText()) {
      quiet = limits.textQuiet;
    }
    const TelnetChannel::DataByte next = channel.ReadDataByte(quiet);
    if (next.status == IoStatus::kTimedOut) {
      // Quiet: decide on what has arrived. With no text at all the command
      // is typed anyway, as a person would after waiting a while.
      if (shell.LoginFailed()) return LoginStop{LoginStop::Kind::kLoginIncorrect, Stage::kShell, IoStatus::kOk, 0};
      return std::nullopt;
    }
    if (next.status != IoStatus::kOk) return Stopped(Stage::kShell, channel.LastReadStatus());
    shell.Feed(next.byte);
  }
}

std::optional<LoginStop> ReachLoginPrompt(TelnetChannel& channel) {
  if (!RefuseTelnetOptions(channel)) return Stopped(Stage::kFirstText, channel.LastReadStatus());
  const IoStatus status = WaitForPrompt(channel, kLoginPromptText);
  if (status != IoStatus::kOk) return Stopped(Stage::kLoginPrompt, status);
  return std::nullopt;
}

std::optional<LoginStop> TypeCredentials(TelnetChannel& channel, SecretBytes userId, SecretBytes password,
                                         const Limits& limits, const std::function<void(std::string_view)>& note) {
  {
    // The user name's life ends once the password prompt has come for it.
    const SecretBytes name = std::move(userId);
    for (int tries = 1;; ++tries) {
      if (!channel.SendLine(name.Bytes())) return SendFailed(tries == 1 ? Stage::kLoginPrompt : Stage::kUserNameAgain);
      const PasswordPrompt prompt = WaitForPasswordPrompt(channel, limits.loginAgainQuiet);
      if (prompt.status != IoStatus::kOk) return Stopped(Stage::kPasswordPrompt, prompt.status);
      if (!prompt.loginAgain) break;
      if (tries == limits.userNameTries) {
        return LoginStop{LoginStop::Kind::kNameNotTaken, Stage::kPasswordPrompt, IoStatus::kOk, tries};
      }
      note("a new login prompt: the user name was not taken");
    }
  }
  // The password's, once it has gone out.
  if (!channel.SendLine(SecretBytes(std::move(password)).Bytes(), TelnetChannel::Echo::kSecret)) {
    return SendFailed(Stage::kPasswordPrompt);
  }
  return WaitForShell(channel, limits);
}

std::optional<LoginStop> LogIn(TelnetChannel& channel, SecretBytes userId, SecretBytes password,
                               const Limits& limits, const std::function<void(std::string_view)>& note) {
  if (auto stop = ReachLoginPrompt(channel)) return stop;
  return TypeCredentials(channel, std::move(userId), std::move(password), limits, note);
}

}  // namespace dovrel
