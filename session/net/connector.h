#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

#include "net/abort_signal.h"
#include "net/unique_fd.h"

namespace dovrel {

// The first IPv4 address of `hostName`, with `port` set; nothing when the name
// does not resolve.
std::optional<sockaddr_in> ResolveIPv4(const std::string& hostName, std::uint16_t port);

// A new non-blocking TCP socket, not yet connected.
UniqueFd MakeStreamSocket();

// Connects `socket` to `address`. No limit of its own beyond the system's
// connection time-out, but the abort signal ends the wait at once.
bool ConnectSocket(int socket, const sockaddr_in& address, const AbortSignal& abort);

// The connected socket's own IPv4 address, dotted: the address at which the
// remote host reached this machine.
std::optional<std::string> LocalAddressOf(int socket);

// The connected socket's peer IPv4 address, dotted: the host as this
// connection sees it.
std::optional<std::string> PeerAddressOf(int socket);

}  // namespace dovrel
