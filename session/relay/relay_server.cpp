#include "relay/relay_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>
#include <utility>
#include <vector>

#include "net/connector.h"
#include "net/local_socket.h"
#include "relay/x11_setup.h"
#include "relay/x_authority.h"

namespace dovrel {

namespace {

using Clock = std::chrono::steady_clock;

// Per direction of each connection: enough for an image's worth of bulk
// requests in one read, so large transfers go in few system calls.
constexpr std::size_t kBufferSize = std::size_t{1024} * 1024;
// After a small request or answer has passed, the relay looks again without
// sleeping for this long: the answer to a request it just passed on usually
// comes within it, and a sleep and wake-up would cost the round trip more
// than the look. Idle, or moving bulk (where a busy look would only take the
// processor from the X server), it sleeps.
constexpr std::chrono::microseconds kBusyLook{50};
constexpr std::size_t kSmallTraffic = 4096;

// Bytes on their way from one side to the other, held in a pipe: splice(2)
// moves them from socket to socket without a copy through this process.
class Pending {
 public:
  Pending() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_read.Reset(fds[0]);
    m_write.Reset(fds[1]);
    const int size = ::fcntl(m_write.Get(), F_SETPIPE_SZ, static_cast<int>(kBufferSize));
    m_capacity = size > 0 ? static_cast<std::size_t>(size) : 0;
  }
  [[nodiscard]] bool Usable() const { return m_capacity > 0; }
  [[nodiscard]] bool Empty() const { return m_count == 0; }
  [[nodiscard]] bool HasRoom() const { return m_count < m_capacity; }
  // Bytes passed on since the last call.
  std::size_t TakeMoved() { return std::exchange(m_moved, 0); }

  // Takes what `from` has, as far as there is room. False at its end or on
  // an error; true when it had nothing more for now.
  bool ReadFrom(int from) {
    while (m_count < m_capacity) {
      const std::size_t room = m_capacity - m_count;
      const ssize_t got = ::splice(from, nullptr, m_write.Get(), nullptr, room, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
      if (got > 0) {
        m_count += static_cast<std::size_t>(got);
        // Less than there was room for: the socket is empty for now, and
        // poll will tell when there is more.
        if (static_cast<std::size_t>(got) < room) return true;
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
  }

  // Passes what is pending to `to`, as far as it takes it. False on an error.
  bool WriteTo(int to) {
    while (m_count > 0) {
      const ssize_t sent = ::splice(m_read.Get(), nullptr, to, nullptr, m_count, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
      if (sent > 0) {
        m_count -= static_cast<std::size_t>(sent);
        m_moved += static_cast<std::size_t>(sent);
        continue;
      }
      if (sent < 0 && errno == EINTR) continue;
      return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
  }

  // Puts bytes of this process's own in line (the rewritten setup request).
  bool Append(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return true;
    if (m_capacity - m_count < bytes.size()) return false;
    const ssize_t written = ::write(m_write.Get(), bytes.data(), bytes.size());
    if (written != static_cast<ssize_t>(bytes.size())) return false;
    m_count += bytes.size();
    return true;
  }

 private:
  UniqueFd m_read;
  UniqueFd m_write;
  std::size_t m_capacity = 0;
  std::size_t m_count = 0;
  std::size_t m_moved = 0;
};

// A later session of this user that joined: its host is let in while the
// relay lives, and the relay lives while the session holds this connection.
struct Joined {
  UniqueFd connection;
  std::string request;  // the request line, as far as it has come
  bool admitted = false;
};

struct Connection {
  UniqueFd client;
  UniqueFd server;  // open once the setup request has been read
  std::string from;
  X11SetupReader setup;
  Clock::time_point setupDeadline;
  Pending up;    // client to X server
  Pending down;  // X server to client
  bool done = false;
};

std::string Endpoint(const sockaddr_in& address) {
  return DottedAddress(address).value_or("?") + ":" + std::to_string(ntohs(address.sin_port));
}

class Relay {
 public:
  explicit Relay(RelayConfig config) : m_config(std::move(config)), m_peers{m_config.peer} {}

  RelayTotals Run() {
    for (;;) {
      if (m_sessionOver && m_joined.empty() && m_connections.empty()) break;
      std::vector<pollfd>& fds = m_fds;
      fds.clear();
      fds.push_back({m_config.listener.Get(), POLLIN, 0});
      fds.push_back({m_sessionOver ? -1 : m_config.control.Get(), POLLIN, 0});
      fds.push_back({m_config.joinListener.Get(), POLLIN, 0});
      for (const Joined& j : m_joined) fds.push_back({j.connection.Get(), POLLIN, 0});
      for (Connection& c : m_connections) {
        const bool copying = static_cast<bool>(c.server);
        short clientEvents = 0;
        if (!copying || c.up.HasRoom()) clientEvents |= POLLIN;
        if (!c.down.Empty()) clientEvents |= POLLOUT;
        fds.push_back({c.client.Get(), clientEvents, 0});
        short serverEvents = 0;
        if (copying && c.down.HasRoom()) serverEvents |= POLLIN;
        if (!c.up.Empty()) serverEvents |= POLLOUT;
        fds.push_back({copying ? c.server.Get() : -1, serverEvents, 0});
      }
      const bool looking = Clock::now() < m_lookUntil;
      const int ready = ::poll(fds.data(), fds.size(), looking ? 0 : NextTimeout());
      if (ready < 0 && errno != EINTR) break;
      if (ready == 0 && looking) continue;
      if (fds[1].revents != 0) SessionEnded();
      std::size_t at = 3;
      for (Joined& j : m_joined) {
        if (fds[at++].revents != 0) ServeJoined(j);
      }
      std::erase_if(m_joined, [](const Joined& j) { return !j.connection; });
      if (fds[2].revents != 0) AcceptJoins();
      for (Connection& c : m_connections) {
        const short clientReady = fds[at].revents;
        const short serverReady = fds[at + 1].revents;
        at += 2;
        if ((clientReady | serverReady) != 0) Serve(c, clientReady, serverReady);
        if (!c.server && !c.done && Clock::now() >= c.setupDeadline) {
          Report("closed the connection from " + c.from + ": no X11 setup request in time");
          ++m_totals.malformed;
          c.done = true;
        }
      }
      std::size_t moved = 0;
      for (Connection& c : m_connections) moved += c.up.TakeMoved() + c.down.TakeMoved();
      if (moved > 0 && moved <= kSmallTraffic) m_lookUntil = Clock::now() + kBusyLook;
      const auto before = m_connections.size();
      m_connections.remove_if([](const Connection& c) { return c.done; });
      if (m_connections.size() != before) {
        Report("a relayed connection closed; " + std::to_string(m_connections.size()) + " open");
      }
      if (fds[0].revents != 0) AcceptAll();
    }
    Report("ended: " + std::to_string(m_totals.accepted) + " accepted, " + std::to_string(m_totals.refused) +
           " refused from other addresses; the port is closed");
    return m_totals;
  }

 private:
  int NextTimeout() const {
    int timeout = -1;
    const auto now = Clock::now();
    for (const Connection& c : m_connections) {
      if (c.server) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(c.setupDeadline - now).count();
      const int ms = static_cast<int>(std::max<decltype(left)>(left, 0));
      timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    return timeout;
  }

  void SessionEnded() {
    char byte = 0;
    const ssize_t got = ::read(m_config.control.Get(), &byte, 1);
    if (got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN))) return;
    m_sessionOver = true;
    m_config.control.Reset();
  }

  // A later session asks to have its host let in. Only this user's own
  // processes may: the kernel tells who is on the other end.
  void AcceptJoins() {
    for (;;) {
      UniqueFd connection(::accept4(m_config.joinListener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!connection) return;
      ucred peer{};
      socklen_t length = sizeof peer;
      if (::getsockopt(connection.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
        Report("refused a request to join from another user");
        continue;
      }
      m_joined.push_back({std::move(connection), {}, false});
    }
  }

  void ServeJoined(Joined& joined) {
    char bytes[64];
    const ssize_t got = ::read(joined.connection.Get(), bytes, sizeof bytes);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0 || joined.request.size() > sizeof bytes) {
      joined.connection.Reset();  // that session is over, or talks nonsense
      return;
    }
    if (joined.admitted) return;
    joined.request.append(bytes, static_cast<std::size_t>(got));
    const std::size_t end = joined.request.find('\n');
    if (end == std::string::npos) return;
    in_addr host{};
    const std::string line = joined.request.substr(0, end);
    if (!line.starts_with("peer ") || ::inet_pton(AF_INET, line.substr(5).c_str(), &host) != 1) {
      joined.connection.Reset();
      return;
    }
    m_peers.push_back(host.s_addr);
    ++m_totals.joined;
    joined.admitted = true;
    Report("a later session joined: " + line.substr(5) + " is let in too");
  }

  void AcceptAll() {
    for (;;) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      UniqueFd client(::accept4(m_config.listener.Get(), reinterpret_cast<sockaddr*>(&from), &length,
                                SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!client) return;
      const bool letIn = from.sin_family == AF_INET &&
                         std::find(m_peers.begin(), m_peers.end(), from.sin_addr.s_addr) != m_peers.end();
      if (!letIn) {
        // Not the host: closed at once, before a byte either way.
        ++m_totals.refused;
        Report("refused a connection from " + Endpoint(from) + ": only the host may connect");
        continue;
      }
      ++m_totals.accepted;
      Connection& c = m_connections.emplace_back();
      c.client = std::move(client);
      c.from = Endpoint(from);
      c.setupDeadline = Clock::now() + m_config.setupLimit;
      if (!c.up.Usable() || !c.down.Usable()) {
        Report("closed the connection from " + c.from + ": out of pipes");
        c.done = true;
        continue;
      }
      Report("accepted a connection from " + c.from + "; " + std::to_string(m_connections.size()) + " open");
    }
  }

  void Serve(Connection& c, short clientReady, short serverReady) {
    constexpr short kReadable = POLLIN | POLLHUP | POLLERR;
    if (!c.server) {
      if (!ReadSetup(c) || c.done) return;
      clientReady = 0;  // read already; what followed the request is on its way
    }
    // Each direction as far as it goes now: the wake-up that brings a
    // request also sends it on, so a round trip costs no extra poll.
    bool ok = true;
    if ((clientReady & kReadable) != 0) ok = c.up.ReadFrom(c.client.Get());
    if (ok && !c.up.Empty()) ok = c.up.WriteTo(c.server.Get());
    if (ok && (serverReady & kReadable) != 0) ok = c.down.ReadFrom(c.server.Get());
    if (ok && !c.down.Empty()) ok = c.down.WriteTo(c.client.Get());
    if (!ok) {
      // One side closed: pass on what is left for the other, then close both.
      c.up.WriteTo(c.server.Get());
      c.down.WriteTo(c.client.Get());
      c.done = true;
    }
  }

  // Reads the setup request; true once it has gone to the X server with this
  // user's authorisation in it.
  bool ReadSetup(Connection& c) {
    std::uint8_t bytes[4096];
    const ssize_t got = ::read(c.client.Get(), bytes, sizeof bytes);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return false;
    if (got <= 0) {
      c.done = true;
      return false;
    }
    std::size_t used = 0;
    const auto state = c.setup.Feed({bytes, static_cast<std::size_t>(got)}, used);
    if (state == X11SetupReader::State::kNeedMore) return false;
    if (state == X11SetupReader::State::kMalformed) {
      Report("closed the connection from " + c.from + ": not an X11 setup request");
      ++m_totals.malformed;
      c.done = true;
      return false;
    }
    c.server = ConnectLocalSocket(m_config.xSocket);
    // Room for as much as the pipe holds, so bulk requests go to the X
    // server in few steps (the system may grant less).
    const int room = static_cast<int>(kBufferSize);
    if (c.server) ::setsockopt(c.server.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    if (!c.server) {
      Report("closed the connection from " + c.from + ": the local X server of display :" +
             std::to_string(m_config.display) + " does not answer");
      c.done = true;
      return false;
    }
    const auto cookie = FindLocalCookie(m_config.display);
    const std::vector<std::uint8_t> none;
    const std::string name = cookie ? cookie->name : std::string();
    const auto request = c.setup.WithAuthorisation(
        {reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}, cookie ? cookie->data : none);
    Report("passed on the X11 setup of " + c.from +
           (cookie ? " with this user's " + name : std::string(" with no cookie: the X server decides")));
    if (!c.up.Append(request) ||
        !c.up.Append({bytes + used, static_cast<std::size_t>(got) - used})) {
      c.done = true;
      return false;
    }
    return true;
  }

  void Report(const std::string& line) {
    if (m_config.report) m_config.report(line);
  }

  RelayConfig m_config;
  std::vector<in_addr_t> m_peers;  // the hosts let in
  std::vector<Joined> m_joined;
  std::list<Connection> m_connections;
  std::vector<pollfd> m_fds;
  Clock::time_point m_lookUntil{};
  RelayTotals m_totals;
  bool m_sessionOver = false;
};

}  // namespace

std::string RelayJoinRequest(const std::string& peerAddress) { return "peer " + peerAddress + "\n"; }

std::string RelayJoinName(const std::string& served) { return "dovrel-relay/" + served; }

RelayTotals RunRelay(RelayConfig config) {
  SetNonBlocking(config.listener.Get());
  SetNonBlocking(config.control.Get());
  if (config.joinListener) SetNonBlocking(config.joinListener.Get());
  return Relay(std::move(config)).Run();
}

}  // namespace dovrel
