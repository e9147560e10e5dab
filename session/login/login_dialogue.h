#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "common/base/limits.h"
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

// Where and why the login dialogue stopped the launch.
struct LoginStop {
  enum class Kind {
    kHostStopped,     // the host fell silent, closed, or went over the login's limit
    kLoginIncorrect,  // the host refused the user name or password
    kNameNotTaken,    // the host asked for the login name again after every try
    kSendFailed,      // a line could not be typed
  };
  // The dialogue's stages, from the host's first text to its shell.
  enum class Stage { kFirstText, kLoginPrompt, kPasswordPrompt, kUserNameAgain, kShell };

  Kind kind = Kind::kHostStopped;
  Stage stage = Stage::kFirstText;
  IoStatus status = IoStatus::kFailed;  // kHostStopped: how the last read ended
  int tries = 0;                        // kNameNotTaken: how often the name was typed
};

// After the password line: reads what the host prints until it falls quiet
// and tells whether a shell is waiting (none), the host refused the login
// (kLoginIncorrect), or it stopped at the shell's stage. A login program may throw
// away typed input right after it reads the password, so nothing must be
// typed before.
std::optional<LoginStop> WaitForShell(TelnetChannel& channel, const Limits& limits);

// The dialogue's first half, from the host's first bytes: refuses the
// options and waits for "login:". None: the prompt is there, nothing typed.
std::optional<LoginStop> ReachLoginPrompt(TelnetChannel& channel);

// Its second half, at the login prompt: types the user name (again, when
// the prompt was in a banner), waits for "Password:", types the password and
// waits for the shell: none when a shell waits for the command line. It
// takes the credentials, and each is wiped as soon as it has gone out;
// `note` hears what the dialogue decided on the way, for the verbose report.
std::optional<LoginStop> TypeCredentials(TelnetChannel& channel, SecretBytes userId, SecretBytes password,
                                         const Limits& limits, const std::function<void(std::string_view)>& note);

// The whole dialogue, both halves.
std::optional<LoginStop> LogIn(TelnetChannel& channel, SecretBytes userId, SecretBytes password,
                               const Limits& limits, const std::function<void(std::string_view)>& note);

}  // namespace dovrel
