#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

#include "common/base/or_failure.h"
#include "common/net/abort_signal.h"
#include "session/relay_start/launch_cookie.h"
#include "common/net/unique_fd.h"

namespace dovrel {

// The launch's hold on a running relay: while it keeps `control` open the
// relay keeps its port even with no connection; once it closes it (or ends),
// the relay ends with its last relayed connection.
struct RelayHandle {
  UniqueFd control;
  std::string served;  // "address:port"
};

// How the relay admits and what it passes on.
struct RelayOptions {
  // This launch's cookie, handed over on the control pipe: a connection
  // gets through only with it. None: the host's address alone admits.
  const LaunchCookie* cookie = nullptr;
  // Pass on an untrusted authorisation from the X server's SECURITY
  // extension instead of this user's cookie.
  bool untrusted = false;
  bool verbose = false;
};

// A relay whose program has started and not yet told whether it took the
// port and the X server's answers: the launch goes on meanwhile (the host
// prints its login prompt) and asks before it types anything.
class StartingRelay {
 public:
  StartingRelay(pid_t child, RelayHandle handle, bool handed, std::string program, int display);
  StartingRelay(StartingRelay&& other) noexcept;
  StartingRelay& operator=(StartingRelay&&) = delete;
  StartingRelay(const StartingRelay&) = delete;
  ~StartingRelay();

  // Waits for the program's word (it ends at once, leaving the relay's own
  // process behind): the relay, or why it did not start.
  OrFailure<RelayHandle> Finish();

 private:
  pid_t m_child;
  RelayHandle m_handle;
  bool m_handed;
  std::string m_program;
  int m_display;
};

// Serves `localAddress`, port 6000 + `display` (that address only, never the
// wildcard) for connections from `peerAddress` alone, relayed to display
// :`display`'s local socket by the relay program `program`, a process of its
// own started from a fresh image: no Qt, no credentials in its memory. It
// outlives this process while a relayed connection lives. With `verbose` it
// reports on this process's standard error. Its word is waited for later.
OrFailure<StartingRelay> BeginDisplayRelay(const std::string& program, const std::string& localAddress,
                                           const std::string& peerAddress, int display, const RelayOptions& options);

// What came of asking the relay of an earlier launch to let this host in.
struct JoinResult {
  std::optional<RelayHandle> joined;  // let in: the relay lives while this is held
  std::string refused;                // not joined although a name answered: why
  bool byAddress = false;             // joined: the relay admits by address (some launch is --trust-host)
  bool denied = false;                // the relay of this user's closed on the request: it does not take it
};

// Asks the relay that already serves `localAddress`, port 6000 + `display`,
// for an earlier launch of this user to let `peerAddress` in too, with
// `cookie` (none: by address alone). Only a relay of this user's that
// answers within `answerLimit` (or before `abort`) is joined.
JoinResult JoinDisplayRelay(const std::string& localAddress, const std::string& peerAddress, int display,
                            const LaunchCookie* cookie, std::chrono::milliseconds answerLimit,
                            const AbortSignal& abort);

}  // namespace dovrel
