#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <variant>

#include "net/unique_fd.h"

namespace dovrel {

// The session's hold on a running relay: while it keeps `control` open the
// relay keeps its port even with no connection; once it closes it (or ends),
// the relay ends with its last relayed connection.
struct RelayHandle {
  UniqueFd control;
  std::string served;  // "address:port"
};

// Serves `localAddress`, port 6000 + `display` (that address only, never the
// wildcard) for connections from `peerAddress` alone, relayed to display
// :`display`'s local socket by the relay program `program`, a process of its
// own started from a fresh image: no Qt, no credentials in its memory. It
// outlives this process while a relayed connection lives. With `verbose` it
// reports on this process's standard error. On failure: why, in words.
std::variant<RelayHandle, std::string> StartDisplayRelay(const std::string& program, const std::string& localAddress,
                                                         const std::string& peerAddress, int display, bool verbose);

// Has the relay that already serves `localAddress`, port 6000 + `display`,
// for an earlier launch of this user let `peerAddress` in too; nothing when
// no relay serves it.
std::optional<RelayHandle> JoinDisplayRelay(const std::string& localAddress, const std::string& peerAddress,
                                            int display);

// The relay program beside this executable (the build tree), or where the
// package installs it; empty when there is none.
std::string FindRelayProgram();

}  // namespace dovrel
