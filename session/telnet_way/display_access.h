#pragma once

#include <optional>
#include <string>

#include "session/launch/launch_cause.h"
#include "common/net/abort_signal.h"
#include "session/relay_start/launch_cookie.h"
#include "session/relay_start/relay_process.h"
#include "common/net/unique_fd.h"
#include "session/launch/reporter.h"
#include "session/launch/session_request.h"
#include "session/watch/local_display.h"

namespace dovrel {

// Whether a terminal on the host can reach the display, found before
// anything is typed.
// A relay this launch started, whose word is waited for before anything is
// typed: its program starts while the host prints its login prompt.
struct PendingRelay {
  StartingRelay starting;
  std::string peer;
  int display = 0;
  bool cookie = false;  // it admits by this launch's cookie (else by address)
};

struct DisplayAccess {
  std::optional<LaunchStop> stop;  // why no terminal can reach it; none: go on
  UniqueFd relayControl;               // held while the launch runs, when a relay serves the port
  // The cookie the relay admits, to be installed on the host before the
  // command line; none when the X server takes TCP itself or with --trust-host.
  std::optional<LaunchCookie> cookie;
  bool tcpTrusted = false;  // root or this user listens on the display's TCP port
  std::optional<PendingRelay> pending;  // a relay started: FinishRelay before typing
};

// Probes display `display` at `localAddress`, port 6000 + `display`, and
// trusts a listener there only when it is root's or this user's. When
// nothing listens there but the display has a local socket, starts the relay
// for the telnet connection's peer, or joins the one an earlier launch of
// this user started (unless the setup says no relay).
DisplayAccess ReachDisplay(LocalDisplay& local, int connection, const std::string& localAddress, int display,
                           const SessionSetup& setup, const AbortSignal& abort, Reporter& reporter);

// Waits for the relay's word: its control (held while the launch runs), or
// why it did not start.
DisplayAccess FinishRelay(PendingRelay& pending, const SessionSetup& setup, Reporter& reporter);

}  // namespace dovrel
