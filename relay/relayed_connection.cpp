#include "relay/relayed_connection.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <utility>

#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"
#include "common/net/local_socket.h"
#include "common/net/scope_exit.h"

namespace dovrel {

RelayedConnection::RelayedConnection(UniqueFd client, in_addr_t host, std::string from,
                                     Clock::time_point setupDeadline)
    : m_client(std::move(client)), m_host(host), m_from(std::move(from)), m_setupDeadline(setupDeadline) {}

void RelayedConnection::AddPollSlots(std::vector<pollfd>& fds) {
  const bool copying = Admitted();
  short clientEvents = 0;
  if (!copying || m_up.HasRoom()) clientEvents |= POLLIN;
  if (!m_down.Empty()) clientEvents |= POLLOUT;
  m_clientSlot = fds.size();
  fds.push_back({m_client.Get(), clientEvents, 0});
  m_serverSlot = kNoSlot;
  if (copying) {
    short serverEvents = 0;
    if (m_down.HasRoom()) serverEvents |= POLLIN;
    if (!m_up.Empty()) serverEvents |= POLLOUT;
    m_serverSlot = fds.size();
    fds.push_back({m_server.Get(), serverEvents, 0});
  }
}

RelayedConnection::Event RelayedConnection::Serve(const std::vector<pollfd>& fds, const SetupGate& gate) {
  short clientReady = m_clientSlot == kNoSlot ? short{0} : fds[m_clientSlot].revents;
  const short serverReady = m_serverSlot == kNoSlot ? short{0} : fds[m_serverSlot].revents;
  if ((clientReady | serverReady) == 0 || m_done) return Event::kNone;
  Event event = Event::kNone;
  if (!Admitted()) {
    event = ReadSetup(gate);
    if (event != Event::kAdmitted) return event;
    clientReady = 0;  // read already; what followed the request is on its way
  }
  // An end shows as Done(); an admission in the same round is still told.
  Copy(clientReady, serverReady);
  return event;
}

// Each direction as far as it goes now: the wake-up that brings a request
// also sends it on, so a round trip costs no extra poll.
void RelayedConnection::Copy(short clientReady, short serverReady) {
  constexpr short kReadable = POLLIN | POLLHUP | POLLERR;
  bool ok = true;
  if ((clientReady & kReadable) != 0) ok = m_up.ReadFrom(m_client.Get());
  if (ok && !m_up.Empty()) ok = m_up.WriteTo(m_server.Get());
  if (ok && (serverReady & kReadable) != 0) ok = m_down.ReadFrom(m_server.Get());
  if (ok && !m_down.Empty()) ok = m_down.WriteTo(m_client.Get());
  if (ok) return;
  // One side closed: pass on what is left for the other, then close both.
  m_up.WriteTo(m_server.Get());
  m_down.WriteTo(m_client.Get());
  m_done = true;
}

// Reads the setup request; once it is whole and carries a launch's cookie,
// it goes to the X server with this user's authorisation in its place.
RelayedConnection::Event RelayedConnection::ReadSetup(const SetupGate& gate) {
  if (!m_setup) return Event::kNone;  // passed on, or closed
  // What is read may hold a cookie: wiped however this ends.
  WipedArray<std::uint8_t, 4096> bytes;
  const ssize_t got = ::read(m_client.Get(), bytes.Get().data(), bytes.Get().size());
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return Event::kNone;
  if (got <= 0) {
    Close();  // gone before its setup was whole
    return Event::kNone;
  }
  const std::span<const std::uint8_t> received(bytes.Get().data(), static_cast<std::size_t>(got));
  std::size_t used = 0;
  const auto state = m_setup->Feed(received, used);
  if (state == X11SetupReader::State::kNeedMore) return Event::kNone;
  const auto refuse = [this](Event why) {
    Close();
    return why;
  };
  if (state == X11SetupReader::State::kMalformed) return refuse(Event::kMalformed);
  const auto launch = gate.admission.Admits(m_host, m_setup->AuthName(), m_setup->AuthData(), Clock::now());
  if (!launch) return refuse(Event::kDenied);
  if (!m_up.Open(gate.pipeCapacity) || !m_down.Open(gate.pipeCapacity)) return refuse(Event::kNoPipes);
  m_server = ConnectTrustedLocalSocket(gate.xSocket);
  if (!m_server) return refuse(Event::kNoXServer);
  // Room for as much as the pipe holds, so bulk requests go to the X server
  // in few steps (the system may grant less).
  const int room = static_cast<int>(m_up.Capacity());
  ::setsockopt(m_server.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
  const std::optional<XCookie> cookie = gate.authorisation();
  m_passedOn = cookie ? cookie->name : std::string();
  const SecretBytes request = m_setup->WithAuthorisation(
      {reinterpret_cast<const std::uint8_t*>(m_passedOn.data()), m_passedOn.size()},
      cookie ? cookie->data.Bytes() : std::span<const std::uint8_t>());
  m_setup.reset();  // the client's cookie goes with it
  const bool appended = m_up.Append(request.Bytes()) && m_up.Append(received.subspan(used));
  if (!appended) m_done = true;
  m_launch = launch;
  return Event::kAdmitted;
}

bool RelayedConnection::HasQueuedBytes() const {
  int queued = 0;
  return ::ioctl(m_client.Get(), FIONREAD, &queued) == 0 && queued > 0;
}

void RelayedConnection::Close() {
  m_setup.reset();
  m_done = true;
}

std::string RelayedConnection::Describe(Event event, int display) const {
  const std::string closed = "closed the connection from " + m_from + ": ";
  switch (event) {
    case Event::kAdmitted:
      return "admitted " + m_from + "; passed on its setup" +
             (m_passedOn.empty() ? std::string(" with no cookie: the X server decides") : " with " + m_passedOn);
    case Event::kMalformed:
      return closed + "not an X11 setup request";
    case Event::kDenied:
      return closed + "its setup request does not carry this launch's cookie";
    case Event::kNoPipes:
      return closed + "out of pipes";
    case Event::kNoXServer:
      return closed + "the local X server of display :" + std::to_string(display) +
             " does not take the connection (or is not root's or this user's)";
    case Event::kNone:
      break;
  }
  return {};
}

}  // namespace dovrel
