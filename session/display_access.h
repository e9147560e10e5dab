#pragma once

#include <optional>
#include <string>

#include "base/outcome.h"
#include "net/abort_signal.h"
#include "net/unique_fd.h"
#include "reporter.h"
#include "session_request.h"
#include "watch/local_display.h"

namespace dovrel {

// Whether a terminal on the host can reach the display, found before
// anything is typed.
struct DisplayAccess {
  std::optional<LaunchCause> failure;  // kNoTcp, kNoXServer or kAborted; none: go on
  UniqueFd relayControl;               // held while the session runs, when a relay serves the port
};

// Probes display `display` at `localAddress`, port 6000 + `display`. When
// nothing listens there but the display has a local socket, starts the relay
// for the telnet connection's peer (unless the setup says no relay).
DisplayAccess ReachDisplay(LocalDisplay& local, int connection, const std::string& localAddress, int display,
                           const SessionSetup& setup, const AbortSignal& abort, Reporter& reporter);

}  // namespace dovrel
