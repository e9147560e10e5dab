#include "relay/relay_server.h"

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <list>
#include <optional>
#include <utility>
#include <vector>

#include "common/net/connector.h"
#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"
#include "common/net/local_socket.h"
#include "relay/admission.h"
#include "relay/join_listener.h"
#include "relay/relayed_connection.h"

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

bool OutOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

class Relay {
 public:
  explicit Relay(RelayConfig config)
      : m_config(std::move(config)),
        m_clock(m_config.clock != nullptr ? *m_config.clock : SystemClock()),
        m_admission(m_config.limits),
        m_gate{m_admission, m_config.limits.pipeCapacity, m_config.xSocket, m_config.authorisation},
        m_joins(std::move(m_config.joinListener), m_config.report) {
    if (!m_gate.authorisation) {
      m_gate.authorisation = [display = m_config.display] { return FindLocalCookie(display); };
    }
    m_admission.Let(0, m_config.peer, m_config.cookie);
    m_config.cookie.reset();
  }

  RelayTotals Run() {
    for (;;) {
      if (m_admission.Over(m_clock.Now())) break;
      BuildPollSlots();
      const bool looking = m_clock.Now() < m_lookUntil;
      const int ready = ::poll(m_fds.data(), m_fds.size(), looking ? 0 : NextTimeout());
      if (ready < 0 && errno != EINTR) break;
      if (ready == 0 && looking) continue;
      if (m_fds[m_controlSlot].revents != 0) LaunchEnded();
      m_joins.Serve(m_fds, m_admission, m_clock.Now());
      for (RelayedConnection& c : m_connections) {
        const auto event = c.Serve(m_fds, m_gate);
        if (event == RelayedConnection::Event::kAdmitted) m_admission.Opened(*c.Launch());
        ReportEvent(c, event);
        if (!c.Admitted() && !c.Done() && m_clock.Now() >= c.SetupDeadline()) {
          c.Close();
          ++m_totals.malformed;
          Report("closed the connection from " + c.From() + ": no X11 setup request in time");
        }
      }
      std::size_t moved = 0;
      for (RelayedConnection& c : m_connections) moved += c.TakeMoved();
      if (moved > 0 && moved <= kSmallTraffic) m_lookUntil = m_clock.Now() + kBusyLook;
      // Before the closed ones go, so that one closed to make room goes now.
      if (m_listenerSlot != kNoSlot && m_fds[m_listenerSlot].revents != 0) AcceptAll();
      const auto before = m_connections.size();
      // Once no launch admits anyone, what has not finished its setup is
      // closed: it could only be refused.
      const auto now = m_clock.Now();
      const bool open = m_admission.Open(now);
      m_connections.remove_if([&](RelayedConnection& c) {
        if (!open && !c.Admitted()) c.Close();
        if (!c.Done()) return false;
        if (c.Launch()) m_admission.Closed(*c.Launch(), now);
        return true;
      });
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
    if (m_listenerPaused && m_connections.empty() && m_clock.Now() >= m_pausedUntil) m_listenerPaused = false;
    if (!m_listenerPaused) {
      m_listenerSlot = m_fds.size();
      m_fds.push_back({m_config.listener.Get(), POLLIN, 0});
    }
    m_controlSlot = m_fds.size();
    m_fds.push_back({m_launchOver ? -1 : m_config.control.Get(), POLLIN, 0});
    m_joins.AddPollSlots(m_fds);
    for (RelayedConnection& c : m_connections) c.AddPollSlots(m_fds);
  }

  // The poll's timeout: the nearest setup deadline, and with the listener
  // paused and no connection to free a descriptor, the pause's end.
  int NextTimeout() const {
    std::optional<Clock::time_point> next;
    const auto nearer = [&next](Clock::time_point at) { next = next ? std::min(*next, at) : at; };
    for (const RelayedConnection& c : m_connections) {
      if (!c.Admitted()) nearer(c.SetupDeadline());
    }
    if (m_listenerPaused && m_connections.empty()) nearer(m_pausedUntil);
    if (const auto change = m_admission.NextChange(m_clock.Now())) nearer(*change);
    if (!next) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - m_clock.Now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
  }

  void LaunchEnded() {
    char byte = 0;
    const ssize_t got = ::read(m_config.control.Get(), &byte, 1);
    if (got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN))) return;
    m_launchOver = true;
    m_config.control.Reset();
    m_admission.Ended(0, m_clock.Now());
  }

  [[nodiscard]] std::size_t OpenCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_connections.begin(), m_connections.end(), [](const RelayedConnection& c) { return !c.Done(); }));
  }
  [[nodiscard]] std::size_t UnfinishedCount() const {
    return static_cast<std::size_t>(std::count_if(m_connections.begin(), m_connections.end(), [](const RelayedConnection& c) {
      return !c.Done() && !c.Admitted();
    }));
  }

  // Makes room for one more connection: at either cap, the oldest unfinished
  // setup with nothing waiting to be read goes. False when there is none:
  // the new one is not taken, and a setup request that waits keeps its place.
  bool MakeRoom() {
    const bool full = OpenCount() >= m_config.limits.maxConnections;
    if (!full && UnfinishedCount() < m_config.limits.maxUnfinishedSetups) return true;
    for (RelayedConnection& c : m_connections) {
      if (!c.Done() && !c.Admitted() && !c.HasQueuedBytes()) {
        c.Close();
        ++m_totals.evicted;
        Report("closed the connection from " + c.From() + ": the oldest unfinished setup makes room for a new one");
        return true;
      }
    }
    return false;
  }

  // Takes a bounded number from the backlog: the setups already taken are
  // read in the next round before more connections compete with them.
  void AcceptAll() {
    for (std::size_t taken = 0; taken < m_config.limits.acceptsPerRound; ++taken) {
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
          m_pausedUntil = m_clock.Now() + m_config.limits.pauseWithoutDescriptors;
          Report("out of descriptors: new connections wait until one closes");
        }
        return;
      }
      if (from.sin_family != AF_INET || !m_admission.Knows(from.sin_addr.s_addr, m_clock.Now())) {
        // Not a host of a launch that admits now: closed at once, before a
        // byte either way. The port stays this relay's meanwhile.
        ++m_totals.refused;
        Report("refused a connection from " + AddressAndPort(from) +
               (m_admission.Open(m_clock.Now()) ? ": only the host may connect" : ": no launch admits any more"));
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
      const RelayedConnection& c = m_connections.emplace_back(std::move(client), from.sin_addr.s_addr,
                                                              AddressAndPort(from),
                                                              m_clock.Now() + m_config.limits.setupLimit);
      Report("accepted a connection from " + c.From() + "; " + std::to_string(OpenCount()) + " open");
    }
  }

  // Counts and reports what serving a connection brought about.
  void ReportEvent(const RelayedConnection& c, RelayedConnection::Event event) {
    using Event = RelayedConnection::Event;
    if (event == Event::kAdmitted) ++m_totals.accepted;
    if (event == Event::kMalformed) ++m_totals.malformed;
    if (event == Event::kDenied) ++m_totals.denied;
    const std::string said = c.Describe(event, m_config.display);
    if (!said.empty()) Report(said);
  }

  void Report(const std::string& line) {
    if (m_config.report) m_config.report(line);
  }

  RelayConfig m_config;
  WaitClock& m_clock;
  Admission m_admission;
  SetupGate m_gate;
  JoinListener m_joins;
  std::list<RelayedConnection> m_connections;
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
