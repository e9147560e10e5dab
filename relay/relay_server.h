#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "common/base/limits.h"
#include "common/base/relay_protocol.h"
#include "common/net/transport.h"
#include "common/net/unique_fd.h"
#include "relay/admission.h"
#include "relay/x_authority.h"

namespace dovrel {

// What the relay serves, and to whom.
struct RelayConfig {
  UniqueFd listener;  // listening on this machine's address, port 6000 + N
  UniqueFd control;   // read end of a pipe the launch holds: its end closed means the launch is over
  in_addr_t peer = 0; // the telnet host's address (network byte order)
  // This launch's cookie, which a connection's setup request must carry;
  // none: the host's address alone admits (--trust-host).
  std::optional<SecretCookie> cookie;
  // Where a later launch of this user to the same display asks to have its
  // host let in too (none: no later launch can join).
  UniqueFd joinListener;
  int display = 0;      // the local display :N
  std::string xSocket;  // its local socket's name
  RelayLimits limits;
  // The authorisation put into each admitted setup request in place of the
  // client's; unset: this user's cookie for the display, read each time.
  std::function<std::optional<XCookie>()> authorisation;
  // Gets one line for each event (start, accepted, refused, closed, end).
  std::function<void(const std::string&)> report;
  // What the relay's windows and limits are timed by; none: the system's.
  WaitClock* clock = nullptr;
};

// What the relay did, when it ended.
struct RelayTotals {
  std::size_t accepted = 0;   // admitted and passed on to the X server
  std::size_t refused = 0;    // from another address: closed without a byte
  std::size_t denied = 0;     // from a host, without this launch's cookie: closed
  std::size_t malformed = 0;  // no X11 setup request, or none in time
  std::size_t evicted = 0;    // unfinished setups closed to make room
  std::size_t joined = 0;     // later launches that had their host let in
};

// Serves the X11 port until every launch is over and the last relayed
// connection has closed. A connection from a host of a launch is admitted
// once its setup request carries that launch's cookie; then its
// authorisation is replaced and both directions are copied until either
// side closes.
RelayTotals RunRelay(RelayConfig config);

}  // namespace dovrel
