#include "session/watch/x_connections.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "common/net/local_socket.h"

namespace dovrel {

namespace {

constexpr std::string_view kEstablished = "01";
constexpr std::string_view kListening = "0A";

std::string_view NextField(std::string_view& line) {
  const std::size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    line = {};
    return {};
  }
  line.remove_prefix(start);
  const std::size_t end = std::min(line.find(' '), line.size());
  const std::string_view field = line.substr(0, end);
  line.remove_prefix(end);
  return field;
}

bool ParseHex32(std::string_view text, std::uint32_t& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "0100007F:1770" (IPv4) or 32 hex digits and a port (IPv6). The kernel
// prints each 32-bit word of the address as the number it is in memory, so
// the word read back is the address in network byte order again.
bool ParseEndpoint(std::string_view text, in_addr_t& address, std::uint16_t& port) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view host = text.substr(0, colon);
  std::uint32_t portValue = 0;
  if (!ParseHex32(text.substr(colon + 1), portValue) || portValue > 0xFFFF) return false;
  port = static_cast<std::uint16_t>(portValue);
  if (host.size() == 8) return ParseHex32(host, address);
  if (host.size() != 32) return false;
  // ::ffff:a.b.c.d: words 0000 0000 FFFF0000 address.
  std::uint32_t words[4] = {};
  for (std::size_t i = 0; i < 4; ++i) {
    if (!ParseHex32(host.substr(8 * i, 8), words[i])) return false;
  }
  // "::", the wildcard, listens for IPv4 too.
  if ((words[0] | words[1] | words[2] | words[3]) == 0) {
    address = 0;
    return true;
  }
  std::uint32_t mapped = 0;
  const unsigned char marker[4] = {0, 0, 0xFF, 0xFF};
  std::memcpy(&mapped, marker, sizeof mapped);
  if (words[0] != 0 || words[1] != 0 || words[2] != mapped) return false;
  address = words[3];
  return true;
}

// One line of the socket table: its fields up to the owner's uid.
struct TableLine {
  std::string_view local;
  std::string_view remote;
  std::string_view state;
  std::string_view uid;
};

// Calls `each` with every line of `table`.
template <typename Each>
void ForEachLine(std::string_view table, Each each) {
  while (!table.empty()) {
    const std::size_t end = std::min(table.find('\n'), table.size());
    std::string_view line = table.substr(0, end);
    table.remove_prefix(std::min(end + 1, table.size()));
    NextField(line);  // "sl"
    TableLine fields;
    fields.local = NextField(line);
    fields.remote = NextField(line);
    fields.state = NextField(line);
    for (int skipped = 0; skipped < 3; ++skipped) NextField(line);  // queues, timer, retransmits
    fields.uid = NextField(line);
    each(fields);
  }
}

std::optional<std::uint32_t> ParseUid(std::string_view text) {
  std::uint32_t uid = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), uid);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return std::nullopt;
  return uid;
}

}  // namespace

std::vector<TcpConnection> ParseTcpTable(std::string_view table) {
  std::vector<TcpConnection> connections;
  ForEachLine(table, [&](const TableLine& line) {
    TcpConnection connection;
    if (line.state == kEstablished && ParseEndpoint(line.local, connection.localAddress, connection.localPort) &&
        ParseEndpoint(line.remote, connection.remoteAddress, connection.remotePort)) {
      connections.push_back(connection);
    }
  });
  return connections;
}

std::optional<std::uint32_t> ListenerOwner(std::string_view table, in_addr_t address, std::uint16_t port) {
  std::optional<std::uint32_t> owner;
  ForEachLine(table, [&](const TableLine& line) {
    in_addr_t listening = 0;
    std::uint16_t listeningPort = 0;
    if (line.state != kListening || !ParseEndpoint(line.local, listening, listeningPort) || listeningPort != port ||
        (listening != address && listening != 0)) {
      return;
    }
    const auto uid = ParseUid(line.uid);
    if (!uid) return;
    // Where several listen (SO_REUSEPORT), one not trusted decides: any of
    // them may take the terminal's connection.
    if (!owner || (IsTrustedOwner(*owner) && !IsTrustedOwner(*uid))) owner = uid;
  });
  return owner;
}

std::optional<std::uint32_t> AcceptingOwner(std::string_view table, const TcpConnection& ours) {
  std::optional<std::uint32_t> owner;
  ForEachLine(table, [&](const TableLine& line) {
    TcpConnection end;
    if (line.state != kEstablished || !ParseEndpoint(line.local, end.localAddress, end.localPort) ||
        !ParseEndpoint(line.remote, end.remoteAddress, end.remotePort)) {
      return;
    }
    if (end.localAddress == ours.remoteAddress && end.localPort == ours.remotePort &&
        end.remoteAddress == ours.localAddress && end.remotePort == ours.localPort) {
      owner = ParseUid(line.uid);
    }
  });
  return owner;
}

LastingConnection::LastingConnection(in_addr_t address, std::uint16_t port,
                                     const std::vector<TcpConnection>& existing,
                                     std::chrono::milliseconds lasting)
    : m_address(address), m_port(port), m_lasting(lasting) {
  for (const TcpConnection& connection : existing) {
    if (IsToServer(connection)) m_existing.emplace_back(connection.remoteAddress, connection.remotePort);
  }
}

bool LastingConnection::IsToServer(const TcpConnection& connection) const {
  return connection.localAddress == m_address && connection.localPort == m_port;
}

bool LastingConnection::Update(const std::vector<TcpConnection>& table, Clock::time_point now) {
  std::map<Peer, Clock::time_point> open;
  for (const TcpConnection& connection : table) {
    if (!IsToServer(connection)) continue;
    const Peer peer{connection.remoteAddress, connection.remotePort};
    if (std::find(m_existing.begin(), m_existing.end(), peer) != m_existing.end()) continue;
    const auto known = m_firstSeen.find(peer);
    open.emplace(peer, known != m_firstSeen.end() ? known->second : now);
  }
  // A connection that left the table and came back is a new one.
  m_firstSeen = std::move(open);
  return std::any_of(m_firstSeen.begin(), m_firstSeen.end(),
                     [&](const auto& entry) { return now - entry.second >= m_lasting; });
}

}  // namespace dovrel
