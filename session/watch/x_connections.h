#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace dovrel {

// One established TCP connection to a local port, from the system's socket
// table (/proc/net/tcp and tcp6; IPv4-mapped IPv6 entries count as IPv4).
struct TcpConnection {
  in_addr_t localAddress = 0;  // network byte order
  std::uint16_t localPort = 0;
  in_addr_t remoteAddress = 0;
  std::uint16_t remotePort = 0;
};

// The established IPv4 connections in a socket table's text.
std::vector<TcpConnection> ParseTcpTable(std::string_view table);

// The user id of the process listening on `port` for connections to
// `address` (the address itself, 0.0.0.0, :: or ::ffff:address), from a
// socket table's text; where several listen, one that is neither root nor
// this user wins. Nothing when none listens there.
std::optional<std::uint32_t> ListenerOwner(std::string_view table, in_addr_t address, std::uint16_t port);

// The user id of the process that accepted (or will accept) the connection
// `ours` made from this machine: the server's end of it in a socket table's
// text. Nothing when it is not there.
std::optional<std::uint32_t> AcceptingOwner(std::string_view table, const TcpConnection& ours);

// Tells when a new connection to the X server, from outside, has stayed open
// long enough to be a terminal that was let in: an X server closes the
// connection of a client it refuses at once.
class LastingConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // Connections to `address`:`port`; those in `existing` are not new.
  LastingConnection(in_addr_t address, std::uint16_t port, const std::vector<TcpConnection>& existing,
                    std::chrono::milliseconds lasting);

  // Takes the table as it is at `now`; true once a new connection has been
  // in it, unbroken, for the lasting time.
  bool Update(const std::vector<TcpConnection>& table, Clock::time_point now);

 private:
  using Peer = std::pair<in_addr_t, std::uint16_t>;
  [[nodiscard]] bool IsToServer(const TcpConnection& connection) const;

  in_addr_t m_address;
  std::uint16_t m_port;
  std::chrono::milliseconds m_lasting;
  std::vector<Peer> m_existing;
  std::map<Peer, Clock::time_point> m_firstSeen;
};

}  // namespace dovrel
