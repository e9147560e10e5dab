#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/base/limits.h"
#include "session/launch/launch_cause.h"
#include "common/base/ports.h"
#include "common/secret/secret_bytes.h"
#include "session/launch/launch_target.h"

namespace dovrel {

class LocalDisplay;
class WaitClock;

// Everything the worker needs, copied when it starts: a later OK press cannot
// change what it sends.
struct SessionRequest {
  TerminalTarget target;
  SecretBytes userId;  // bytes in the locale's encoding, as typed
  SecretBytes password;

  // A request from what was typed: the two strings are taken and overwritten.
  static SessionRequest FromTyped(TerminalTarget target, std::string& userId, std::string& password) {
    return {std::move(target), SecretBytes::TakeFrom(userId), SecretBytes::TakeFrom(password)};
  }
};

// Over ssh: ssh's effective configuration for the host (the output of
// `ssh -G`), read while the form was up, and the user it was read for (the
// configuration's own, or the one given); a launch for another user reads
// it again, since a "Match user" block may change it.
struct SshConfigAhead {
  std::string user;
  std::string output;
};

// Where and how the worker works, beside what it sends.
struct SessionSetup {
  std::uint16_t port = kTelnetPort;
  Limits limits;
  // What the command line asks of the launch.
  LaunchOptions options;
  // The display the terminal is sent to; none: neither checked nor watched.
  std::shared_ptr<LocalDisplay> display;
  // The relay program, for a display that takes no TCP connections but has
  // a local socket (empty: none found).
  std::string relayProgram;
  // The helper ssh asks for the password and the user's decisions, and the
  // drain of its error output (empty: none found).
  std::string askpassProgram;
  // The OpenSSH client, found on PATH (a test gives a stand-in).
  std::string sshProgram = "ssh";
  // ssh's configuration, read ahead; none: read at the launch.
  std::shared_ptr<const SshConfigAhead> sshConfigAhead;
  // The clock the session's waits run on; none: the system's.
  std::shared_ptr<WaitClock> clock;
};

}  // namespace dovrel
