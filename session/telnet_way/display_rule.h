#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "session/launch/launch_cause.h"
#include "session/launch/launch_target.h"
#include "session/watch/local_display.h"

namespace dovrel {

// What the relay of an earlier launch answered to a join.
struct JoinAnswer {
  bool joined = false;
  bool byAddress = false;  // joined: it admits by address (some launch is --trust-host)
  bool denied = false;     // a relay of this user's closed on the request
  std::string refused{};   // why it was not joined, although a name answered
};

// What is known of the display and the host, before anything is typed. The
// facts are found one at a time, in the order the rule asks for them: none
// is looked for that the rule does not need (no connection to a listener
// whose owner is not known to be trusted, for one).
struct DisplayFacts {
  LaunchOptions options;
  std::uint32_t self = 0;          // this user's uid
  bool hostIsThisMachine = false;  // the telnet connection's peer is an address of this machine
  std::optional<JoinAnswer> join;  // a relay of an earlier launch serving the port
  // Who listens on the display's TCP port, from the socket table (none:
  // nobody, or it cannot be told); read before the probe, and again after
  // it when a listener came up since.
  std::optional<std::optional<std::uint32_t>> listener;
  std::optional<std::optional<std::uint32_t>> lateListener;
  std::optional<bool> answersAsX;  // root's listener answered a setup request as an X server does
  std::optional<LocalDisplay::Reach> reach;  // the TCP probe
  std::optional<bool> localSocket;           // the display has a local socket here
};

enum class DisplayFact { kJoin, kListener, kAnswersAsX, kReach, kLateListener, kLocalSocket };

// What the rule makes of the facts so far.
struct DisplayDecision {
  enum class Way {
    kFind,    // `fact` must be found first
    kStop,    // no terminal can reach the display: `cause`, with `detail`
    kDirect,  // the terminal connects to the display's own TCP port
    kJoined,  // the relay of an earlier launch lets this host in too
    kRelay,   // start a relay for this launch
  };
  Way way = Way::kFind;
  DisplayFact fact = DisplayFact::kJoin;
  LaunchCause cause = LaunchCause::kUndecided;
  std::string detail;                  // with kStop: what the cause's words name
  std::optional<std::uint32_t> owner;  // with kDirect: who listens there (none: cannot be told)

  bool operator==(const DisplayDecision&) const = default;
};

// How a terminal on the host reaches the display: a pure rule.
DisplayDecision DecideDisplay(const DisplayFacts& facts);

// The cause when the relay could not be started: an untrusted authorisation
// the X server cannot give is its own; otherwise the display is as good as
// one without TCP.
LaunchCause RelayStartFailure(const LaunchOptions& options);

}  // namespace dovrel
