#include "relay/relay_server.h"

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <list>
#include <utility>
#include <vector>

#include "session/net/connector.h"
#include "session/net/launch_cookie.h"
#include "session/net/local_socket.h"
#include "relay/admission.h"
#include "relay/join_listener.h"
#include "relay/splice_pipe.h"
#include "relay/x11_setup.h"

namespace dovrel {

namespace {

using Clock = std::chrono::steady_clock;

// After a small request or answer has passed, the relay looks again without
// sleeping for this long: the answer to a request it just passed on usually
// comes within it, and a sleep and wake-up would cost the round trip more
// than the look. Idle, or moving bulk (where a busy look would only take the
// processor from the X server), it sleeps.
constexpr std::chrono::microseconds kBusyLook{50};
constexpr std::size_t kSmallTraffic = 4096;
constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
// Out of descriptors with no connection of its own to close, the relay
// looks at its listener again this often.
constexpr std::chrono::milliseconds kPauseWithoutConnections{1000};

struct Connection {
  UniqueFd client;
  UniqueFd server;  // open once the setup request has been admitted
  in_addr_t host = 0;
  std::string from;
  X11SetupReader setup;
  Clock::time_point setupDeadline;
  SplicePipe up;    // client to X server
  SplicePipe down;  // X server to client
  bool done = false;
  // Where this connection's descriptors are in this round's poll array.
  std::size_t clientSlot = kNoSlot;
  std::size_t serverSlot = kNoSlot;
};

bool OutOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

class Relay {
 public:
  explicit Relay(RelayConfig config)
      : m_config(std::move(config)), m_joins(std::move(m_config.joinListener), m_config.report) {
    m_admission.Let(0, m_config.peer, m_config.cookie);
    if (m_config.cookie) WipeBytes(*m_config.cookie);
    m_config.cookie.reset();
  }

  RelayTotals Run() {
    for (;;) {
      if (m_launchOver && m_joins.Empty() && m_connections.empty()) break;
      BuildPollSlots();
      const bool looking = Clock::now() < m_lookUntil;
      const int ready = ::poll(m_fds.data(), m_fds.size(), looking ? 0 : NextTimeout());
      if (ready < 0 && errno != EINTR) break;
      if (ready == 0 && looking) continue;
      if (m_fds[m_controlSlot].revents != 0) LaunchEnded();
      m_joins.Serve(m_fds, m_admission);
      for (Connection& c : m_connections) {
        const short clientReady = c.clientSlot == kNoSlot ? short{0} : m_fds[c.clientSlot].revents;
        const short serverReady = c.serverSlot == kNoSlot ? short{0} : m_fds[c.serverSlot].revents;
        if ((clientReady | serverReady) != 0) Serve(c, clientReady, serverReady);
        if (!c.server && !c.done && Clock::now() >= c.setupDeadline) {
          Close(c, "no X11 setup request in time");
          ++m_totals.malformed;
        }
      }
      std::size_t moved = 0;
      for (Connection& c : m_connections) moved += c.up.TakeMoved() + c.down.TakeMoved();
      if (moved > 0 && moved <= kSmallTraffic) m_lookUntil = Clock::now() + kBusyLook;
      // Before the closed ones go, so that one closed to make room goes now.
      if (m_listenerSlot != kNoSlot && m_fds[m_listenerSlot].revents != 0) AcceptAll();
      const auto before = m_connections.size();
      m_connections.remove_if([](const Connection& c) { return c.done; });
      if (m_connections.size() != before) {
        // A descriptor is free again: the listener is looked at again.
        m_listenerPaused = false;
        Report("a relayed connection closed; " + std::to_string(m_connections.size()) + " open");
      }
    }
    m_totals.joined = m_joins.JoinedCount();
    Report("ended: " + std::to_string(m_totals.accepted) + " admitted, " + std::to_string(m_totals.denied) +
           " without this launch's cookie, " + std::to_string(m_totals.refused) +
           " refused from other addresses; the port is closed");
    return m_totals;
  }

 private:
  // Each party records where its descriptors went, and reads its own
  // results back from there.
  void BuildPollSlots() {
    m_fds.clear();
    m_listenerSlot = kNoSlot;
    if (m_listenerPaused && m_connections.empty() && Clock::now() >= m_pausedUntil) m_listenerPaused = false;
    if (!m_listenerPaused) {
      m_listenerSlot = m_fds.size();
      m_fds.push_back({m_config.listener.Get(), POLLIN, 0});
    }
    m_controlSlot = m_fds.size();
    m_fds.push_back({m_launchOver ? -1 : m_config.control.Get(), POLLIN, 0});
    m_joins.AddPollSlots(m_fds);
    for (Connection& c : m_connections) {
      const bool copying = static_cast<bool>(c.server);
      short clientEvents = 0;
      if (!copying || c.up.HasRoom()) clientEvents |= POLLIN;
      if (!c.down.Empty()) clientEvents |= POLLOUT;
      c.clientSlot = m_fds.size();
      m_fds.push_back({c.client.Get(), clientEvents, 0});
      c.serverSlot = kNoSlot;
      if (copying) {
        short serverEvents = 0;
        if (c.down.HasRoom()) serverEvents |= POLLIN;
        if (!c.up.Empty()) serverEvents |= POLLOUT;
        c.serverSlot = m_fds.size();
        m_fds.push_back({c.server.Get(), serverEvents, 0});
      }
    }
  }

  int NextTimeout() const {
    int timeout = -1;
    const auto now = Clock::now();
    for (const Connection& c : m_connections) {
      if (c.server) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(c.setupDeadline - now).count();
      const int ms = static_cast<int>(std::max<decltype(left)>(left, 0));
      timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    if (m_listenerPaused && m_connections.empty()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_pausedUntil - now).count();
      const int ms = static_cast<int>(std::max<decltype(left)>(left, 0));
      timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    return timeout;
  }

  void LaunchEnded() {
    char byte = 0;
    const ssize_t got = ::read(m_config.control.Get(), &byte, 1);
    if (got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN))) return;
    m_launchOver = true;
    m_config.control.Reset();
  }

  [[nodiscard]] std::size_t OpenCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_connections.begin(), m_connections.end(), [](const Connection& c) { return !c.done; }));
  }
  [[nodiscard]] std::size_t UnfinishedCount() const {
    return static_cast<std::size_t>(std::count_if(m_connections.begin(), m_connections.end(),
                                                   [](const Connection& c) { return !c.done && !c.server; }));
  }

  // Makes room for one more connection: at either cap, the oldest unfinished
  // setup goes. False when every open connection is admitted and the cap is
  // reached: the new one is not taken.
  bool MakeRoom() {
    const bool full = OpenCount() >= m_config.limits.maxConnections;
    if (!full && UnfinishedCount() < m_config.limits.maxUnfinishedSetups) return true;
    for (Connection& c : m_connections) {
      if (!c.done && !c.server) {
        Close(c, "the oldest unfinished setup makes room for a new connection");
        ++m_totals.evicted;
        return true;
      }
    }
    return false;
  }

  void AcceptAll() {
    for (;;) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      UniqueFd client(::accept4(m_config.listener.Get(), reinterpret_cast<sockaddr*>(&from), &length,
                                SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!client) {
        if (OutOfDescriptors(errno)) {
          // The connection waits in the backlog; looking again before a
          // descriptor is free would only spin. One is freed when a
          // connection closes, or, with none to close, by time.
          m_listenerPaused = true;
          m_pausedUntil = Clock::now() + kPauseWithoutConnections;
          Report("out of descriptors: new connections wait until one closes");
        }
        return;
      }
      if (from.sin_family != AF_INET || !m_admission.Knows(from.sin_addr.s_addr)) {
        // Not a host of a launch: closed at once, before a byte either way.
        ++m_totals.refused;
        Report("refused a connection from " + AddressAndPort(from) + ": only the host may connect");
        continue;
      }
      if (!MakeRoom()) {
        ++m_totals.refused;
        Report("refused a connection from " + AddressAndPort(from) + ": " +
               std::to_string(m_config.limits.maxConnections) + " connections are open");
        continue;
      }
      // X is request and reply: as the X server does, send each at once
      // rather than hold small writes back for the peer's acknowledgement.
      const int on = 1;
      ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      Connection& c = m_connections.emplace_back();
      c.client = std::move(client);
      c.host = from.sin_addr.s_addr;
      c.from = AddressAndPort(from);
      c.setupDeadline = Clock::now() + m_config.limits.setupLimit;
      Report("accepted a connection from " + c.from + "; " + std::to_string(OpenCount()) + " open");
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

  // Reads the setup request; true once it has been admitted and has gone to
  // the X server with this user's authorisation in it.
  bool ReadSetup(Connection& c) {
    std::uint8_t bytes[4096];
    const ssize_t got = ::read(c.client.Get(), bytes, sizeof bytes);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return false;
    if (got <= 0) {
      c.done = true;
      return false;
    }
    const std::span<std::uint8_t> received(bytes, static_cast<std::size_t>(got));
    const ScopeWipe wipeReceived{received};
    std::size_t used = 0;
    const auto state = c.setup.Feed(received, used);
    if (state == X11SetupReader::State::kNeedMore) return false;
    if (state == X11SetupReader::State::kMalformed) {
      ++m_totals.malformed;
      Close(c, "not an X11 setup request");
      return false;
    }
    const bool admitted = m_admission.Admits(c.host, c.setup.AuthName(), c.setup.AuthData());
    if (!admitted) {
      ++m_totals.denied;
      Close(c, "its setup request does not carry this launch's cookie");
      return false;
    }
    if (!c.up.Open(m_config.limits.pipeCapacity) || !c.down.Open(m_config.limits.pipeCapacity)) {
      Close(c, "out of pipes");
      return false;
    }
    c.server = ConnectTrustedLocalSocket(m_config.xSocket);
    if (!c.server) {
      Close(c, "the local X server of display :" + std::to_string(m_config.display) +
                   " does not take the connection (or is not root's or this user's)");
      return false;
    }
    // Room for as much as the pipe holds, so bulk requests go to the X
    // server in few steps (the system may grant less).
    const int room = static_cast<int>(c.up.Capacity());
    ::setsockopt(c.server.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    std::optional<XCookie> cookie = m_config.authorisation ? m_config.authorisation() : FindLocalCookie(m_config.display);
    const std::string name = cookie ? cookie->name : std::string();
    const std::vector<std::uint8_t> none;
    std::vector<std::uint8_t> request = c.setup.WithAuthorisation(
        {reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}, cookie ? cookie->data : none);
    c.setup.Wipe();
    const bool appended = c.up.Append(request) && c.up.Append(received.subspan(used));
    WipeBytes(request);
    if (cookie) WipeBytes(cookie->data);
    ++m_totals.accepted;
    Report("admitted " + c.from + " with this launch's cookie; passed on its setup" +
           (cookie ? " with " + name : std::string(" with no cookie: the X server decides")));
    if (!appended) c.done = true;
    return appended;
  }

  void Close(Connection& c, const std::string& why) {
    Report("closed the connection from " + c.from + ": " + why);
    c.setup.Wipe();
    c.done = true;
  }

  void Report(const std::string& line) {
    if (m_config.report) m_config.report(line);
  }

  // Wipes a buffer that may hold a cookie when the scope ends.
  struct ScopeWipe {
    std::span<std::uint8_t> bytes;
    ~ScopeWipe() { WipeBytes(bytes); }
  };

  RelayConfig m_config;
  Admission m_admission;
  JoinListener m_joins;
  std::list<Connection> m_connections;
  std::vector<pollfd> m_fds;
  std::size_t m_listenerSlot = kNoSlot;
  std::size_t m_controlSlot = 0;
  Clock::time_point m_lookUntil{};
  RelayTotals m_totals;
  bool m_launchOver = false;
  bool m_listenerPaused = false;
  Clock::time_point m_pausedUntil{};
};

}  // namespace

RelayTotals RunRelay(RelayConfig config) {
  SetNonBlocking(config.listener.Get());
  SetNonBlocking(config.control.Get());
  if (config.joinListener) SetNonBlocking(config.joinListener.Get());
  return Relay(std::move(config)).Run();
}

}  // namespace dovrel
