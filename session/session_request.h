#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "secret_bytes.h"

namespace dovrel {

class LocalDisplay;
class WaitClock;

// Everything the worker needs, copied when it starts: a later OK press cannot
// change what it sends.
struct SessionRequest {
  std::string hostName;
  int display = 0;
  bool xterm = false;
  SecretBytes userId;  // bytes in the locale's encoding, as typed
  SecretBytes password;
};

// The session's limits. Every "quiet" counts from the moment the host has
// acknowledged all that was typed, not from when it was handed to the socket.
struct SessionTiming {
  // Longest wait for any one read from the host.
  std::chrono::milliseconds readLimit{5000};
  // Quiet after text ending in a shell prompt character: the shell is ready,
  // or about to be. Short, because it is safe to type early from then on:
  // a login program throws typed input away once, right after it reads the
  // password, before it prints anything more; text after the password line
  // comes after that, and what is typed then waits for the shell.
  std::chrono::milliseconds promptQuiet{20};
  // Quiet after other text: taken as a shell that prints no usual prompt.
  std::chrono::milliseconds textQuiet{1000};
  // Longest watch for the terminal after the command line.
  std::chrono::milliseconds watchLimit{10000};
  // Quiet that ends the final drain.
  std::chrono::milliseconds drainQuiet{2000};
  // Quiet that ends the session once the outcome is known.
  std::chrono::milliseconds seenQuiet{200};
};

// Where and how the worker works, beside what it sends.
struct SessionSetup {
  std::uint16_t port = 23;  // the host's telnet port
  SessionTiming timing;
  // Each step, the host's text and every line typed on standard error.
  bool verbose = false;
  // The display the terminal is sent to; none: neither checked nor watched.
  std::shared_ptr<LocalDisplay> display;
  // The clock the session's waits run on; none: the system's.
  std::shared_ptr<WaitClock> clock;
};

// How a session ended. The program's exit status follows from it.
enum class SessionOutcome {
  kNotRun,          // no worker was ever started
  kLaunched,        // the terminal was seen, or nothing speaks against it
  kCannotConnect,   // the host could not be resolved or reached
  kLoginIncorrect,  // the host refused the user name or password
  kLaunchFailed,    // logged in, but the terminal did not start
  kEnded,           // the host fell silent, closed or failed before the launch
  kAborted,         // the form was closed first
};

}  // namespace dovrel
