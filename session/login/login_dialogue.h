#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "common/base/limits.h"
#include "common/base/outcome.h"
#include "common/secret/secret_bytes.h"
#include "session/telnet/telnet_channel.h"

namespace dovrel {

// Reads data bytes until `prompt` has arrived: kOk. Otherwise how the wait
// ended: the host fell silent for the read limit, closed, a read failed or
// the session was aborted.
IoStatus WaitForPrompt(TelnetChannel& channel, std::string_view prompt);

struct PasswordPrompt {
  IoStatus status = IoStatus::kFailed;
  // With kOk: false when "Password:" arrived, true when the host asked for
  // the login name again instead and then waited.
  bool loginAgain = false;
};

// After the user name line: reads until "Password:" arrives, or until a new
// login prompt is the last thing the host printed and it has been quiet for
// `promptQuiet`: the user name went out at a "login:" that was not the
// prompt (a banner that says it) and was not taken.
PasswordPrompt WaitForPasswordPrompt(TelnetChannel& channel, std::chrono::milliseconds promptQuiet);

// Where the login dialogue stopped the launch.
struct LoginStop {
  // kLoginIncorrect, kHostStopped, kNameNotTaken, kSendFailed, or the cause
  // that held the typing back (the caller's own).
  LaunchCause cause = LaunchCause::kHostStopped;
  Step step = Step::kFirstText;
  IoStatus status = IoStatus::kFailed;  // kHostStopped: how the last read ended
  int tries = 0;                        // kNameNotTaken: how often the name was typed
};

// How the login dialogue ended: none when a shell waits for the command
// line, the stop otherwise.
using LoginResult = std::optional<LoginStop>;

// After the password line: reads what the host prints until it falls quiet
// and tells whether a shell is waiting (none), the host refused the login
// (kLoginIncorrect), or it stopped at Step::kShell. A login program may throw
// away typed input right after it reads the password, so nothing must be
// typed before.
LoginResult WaitForShell(TelnetChannel& channel, const Limits& limits);

// The whole dialogue from the host's first bytes to its shell: refuses the
// options, waits for "login:", types the user name (again, when the prompt
// was in a banner), waits for "Password:", types the password and waits for
// the shell. It takes the credentials, and each is wiped as soon as it has
// gone out; `note` hears what the dialogue decided on the way, for the
// verbose report.
// `beforeTyping`, if given, runs once the login prompt has come and before
// the user name goes out; a cause it answers ends the dialogue with that
// cause, nothing typed.
LoginResult LogIn(TelnetChannel& channel, SecretBytes userId, SecretBytes password, const Limits& limits,
                  const std::function<void(std::string_view)>& note,
                  const std::function<std::optional<LaunchCause>()>& beforeTyping = {});

}  // namespace dovrel
