#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "secret_bytes.h"

namespace dovrel {

// Everything the worker needs, copied when it starts: a later OK press cannot
// change what it sends.
struct SessionRequest {
  std::string hostName;
  int display = 0;
  bool xterm = false;
  SecretBytes userId;  // bytes in the locale's encoding, as typed
  SecretBytes password;
};

// The session's limits. Tests shorten them; the program uses the defaults.
struct SessionTiming {
  std::uint16_t port = 23;
  // Longest wait for any one read from the host.
  std::chrono::milliseconds readLimit{5000};
  // Quiet after text ending in a shell prompt character: the shell is ready.
  std::chrono::milliseconds promptQuiet{300};
  // Quiet after other text: taken as a shell that prints no usual prompt.
  std::chrono::milliseconds textQuiet{1000};
  // Quiet that ends the final drain.
  std::chrono::milliseconds drainQuiet{2000};
};

// How a session ended. The program's exit status follows from it.
enum class SessionOutcome {
  kNotRun,          // no worker was ever started
  kLaunched,        // the remote command was typed into a logged-in session
  kCannotConnect,   // the host could not be resolved or reached
  kLoginIncorrect,  // the host refused the user name or password
  kEnded,           // the host fell silent, closed or failed before the launch
  kAborted,         // the form was closed first
};

}  // namespace dovrel
