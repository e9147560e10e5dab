#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/base/or_failure.h"
#include "common/net/abort_signal.h"
#include "common/net/transport.h"
#include "common/net/unique_fd.h"

namespace dovrel {

// The first IPv4 address of `hostName`, with its port set; or why there is
// none ("name not found", "the name lookup timed out after 10 s", ...).
// Looks it up on a thread of its own, so that neither a resolver that hangs
// nor the abort signal has to wait for it: past `limit`, or once aborted,
// the lookup is left to finish alone.
OrFailure<sockaddr_in> ResolveIPv4(const std::string& hostName, std::uint16_t port, const AbortSignal& abort,
                                   std::chrono::milliseconds limit);

// A new non-blocking TCP socket, not yet connected.
UniqueFd MakeStreamSocket();

// Connects `socket` to `address` within `limit`; the abort signal ends the
// wait at once. 0 when connected, otherwise the system's error: ETIMEDOUT
// past the limit, ECANCELED when aborted.
int ConnectSocket(int socket, const sockaddr_in& address, const AbortSignal& abort, std::chrono::milliseconds limit,
                  WaitClock& clock = SystemClock());

// A failed connect's error in words: "connection refused", "no route to the
// host", "timed out after 10 s", ...
std::string ConnectFailureText(int error, std::chrono::milliseconds limit);

// The connected socket's own IPv4 address, dotted: the address at which the
// remote host reached this machine.
std::optional<std::string> LocalAddressOf(int socket);

// The connected socket's peer IPv4 address, dotted: the host as this
// connection sees it.
std::optional<std::string> PeerAddressOf(int socket);

// An IPv4 address, dotted; nothing for another family.
std::optional<std::string> DottedAddress(const sockaddr_in& address);

// "address:port", as reports and the relay's join name write an endpoint.
std::string AddressAndPort(std::string_view address, std::uint16_t port);
std::string AddressAndPort(const sockaddr_in& address);

// Whether `address` (dotted IPv4) is this machine: a loopback address or
// one of its interfaces' addresses.
bool IsAddressOfThisMachine(const std::string& address);

// A limit in seconds, as the reports give it: "10 s", "2.5 s".
std::string Seconds(std::chrono::milliseconds limit);

}  // namespace dovrel
