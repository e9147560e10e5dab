#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "net/unique_fd.h"

namespace dovrel {

// What the relay serves, and to whom.
struct RelayConfig {
  UniqueFd listener;    // listening on this machine's address, port 6000 + N
  UniqueFd control;     // read end of a pipe the session holds: its end closed means the session is over
  in_addr_t peer = 0;   // the telnet host's address: the only one let in (network byte order)
  // Where a later session of this user, launching on another host to the
  // same display, asks to have its host let in too (a local socket; none:
  // no later session can join). Each joined session holds its connection
  // open, as the first holds the pipe.
  UniqueFd joinListener;
  int display = 0;      // the local display :N
  std::string xSocket;  // its local socket's name
  // Longest wait for a client's connection-setup request: an X client sends
  // it at once; one that sends nothing is not an X client worth holding.
  std::chrono::milliseconds setupLimit{5000};
  // Gets one line for each event (start, accepted, refused, closed, end).
  std::function<void(const std::string&)> report;
};

// What the relay did, when it ended.
struct RelayTotals {
  std::size_t accepted = 0;
  std::size_t refused = 0;  // from another address: closed without a byte
  std::size_t malformed = 0;
  std::size_t joined = 0;  // later sessions that had their host let in
};

// What a later session sends on the join socket: its host's address.
std::string RelayJoinRequest(const std::string& peerAddress);

// The join socket's name (abstract) for the relay serving `served`
// ("address:port").
std::string RelayJoinName(const std::string& served);

// Serves the X11 port for the host alone (and the hosts of sessions that
// joined) until every session is over and the last relayed connection has
// closed. Each accepted connection's setup
// request gets this user's cookie for the display in place of its own
// authorisation (none when the user has none); then both directions are
// copied until either side closes.
RelayTotals RunRelay(RelayConfig config);

}  // namespace dovrel
