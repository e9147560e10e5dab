#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/base/limits.h"
#include "common/base/outcome.h"
#include "common/base/ports.h"
#include "common/secret/secret_bytes.h"

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

  // A request from what was typed: the two strings are taken and overwritten.
  static SessionRequest FromTyped(std::string hostName, int display, bool xterm, std::string& userId,
                                  std::string& password) {
    return {std::move(hostName), display, xterm, SecretBytes::TakeFrom(userId), SecretBytes::TakeFrom(password)};
  }
};

// Where and how the worker works, beside what it sends.
struct SessionSetup {
  std::uint16_t port = kTelnetPort;
  Limits limits;
  // Each step, the host's text and every line typed on standard error.
  bool verbose = false;
  // The display the terminal is sent to; none: neither checked nor watched.
  std::shared_ptr<LocalDisplay> display;
  // When the display takes no TCP connections but has a local socket, serve
  // its TCP port for the host through the relay program (empty: none found).
  bool relay = true;
  std::string relayProgram;
  // The relay admits by the host's address alone, with no cookie of this
  // launch installed there (--trust-host): every user of the host gets in.
  bool trustHost = false;
  // The relay passes on an untrusted authorisation from the X server's
  // SECURITY extension instead of this user's cookie (--untrusted).
  bool untrusted = false;
  // The way in: the system's OpenSSH client instead of telnet (--ssh), its
  // X forwarding instead of the display's TCP port or the relay.
  bool ssh = false;
  // The helper ssh asks for the password and the user's decisions, and the
  // drain of its error output (empty: none found).
  std::string askpassProgram;
  // The OpenSSH client, found on PATH (a test gives a stand-in).
  std::string sshProgram = "ssh";
  // The clock the session's waits run on; none: the system's.
  std::shared_ptr<WaitClock> clock;
};

}  // namespace dovrel
