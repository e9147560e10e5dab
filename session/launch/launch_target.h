#pragma once

#include <cstddef>
#include <string>

namespace dovrel {

// The user name and the password are each at most this many bytes in the
// locale's encoding, as typed into the form or given as user@host.
inline constexpr std::size_t kCredentialMaxBytes = 20;

// The terminal a launch starts: on which host, sent to which display of
// this machine, and which program. One value from the command line to the
// worker.
struct TerminalTarget {
  std::string hostName;
  int display = 0;     // X display number, 0 to 9
  bool xterm = false;  // true: xterm; false: kterm

  bool operator==(const TerminalTarget&) const = default;
};

// How the launch goes about it, as the command line asks.
struct LaunchOptions {
  bool verbose = false;    // -v or --verbose: each step, the host's text and every typed line on standard error
  bool relay = true;       // false with --no-relay: no relay to a display without TCP
  bool trustHost = false;  // --trust-host: the relay admits by the host's address alone, no cookie installed
  bool untrusted = false;  // --untrusted: an untrusted authorisation (SECURITY) instead of this user's cookie
  bool ssh = false;        // --ssh: the system's OpenSSH client and its X forwarding instead of telnet

  bool operator==(const LaunchOptions&) const = default;
};

}  // namespace dovrel
