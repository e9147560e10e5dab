#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "session_request.h"
#include "telnet_channel.h"

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
// "login:" prompt is the last thing the host printed and it has been quiet
// for `promptQuiet`: the user name went out at a "login:" that was not the
// prompt (a banner that says it) and was not taken.
PasswordPrompt WaitForPasswordPrompt(TelnetChannel& channel, std::chrono::milliseconds promptQuiet);

enum class ShellState {
  kReady,        // a shell is waiting for a command
  kLoginFailed,  // the host refused the login
  kGone,         // the connection closed, failed or was aborted
};

// After the password line: reads what the host prints until it falls quiet
// and tells whether a shell is waiting. A login program may throw away typed
// input right after it reads the password, so nothing must be typed before.
ShellState WaitForShell(TelnetChannel& channel, const SessionTiming& timing);

// The shell command line that starts the terminal on the remote host with its
// display pointed at `address`.
std::string FormatRemoteCommand(bool xterm, std::string_view address, int display);

// Reads up to 100 bytes at a time and throws them away, until the host closes
// or has sent nothing for `quietLimit`.
void DrainSocket(TelnetChannel& channel, std::chrono::milliseconds quietLimit);

}  // namespace dovrel
