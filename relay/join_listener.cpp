#include "relay/join_listener.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/base/relay_protocol.h"
#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"
#include "common/net/connector.h"
#include "common/net/local_socket.h"
#include "common/net/scope_exit.h"

namespace dovrel {

JoinListener::JoinListener(UniqueFd listener, Report report)
    : m_listener(std::move(listener)), m_report(std::move(report)) {}

void JoinListener::AddPollSlots(std::vector<pollfd>& fds) {
  m_slot = fds.size();
  fds.push_back({m_listener ? m_listener.Get() : -1, POLLIN, 0});
  for (Joined& joined : m_joined) {
    joined.slot = fds.size();
    fds.push_back({joined.connection.Get(), POLLIN, 0});
  }
}

void JoinListener::Serve(const std::vector<pollfd>& fds, Admission& admission,
                         std::chrono::steady_clock::time_point now) {
  for (Joined& joined : m_joined) {
    if (fds[joined.slot].revents != 0) Read(joined, admission);
  }
  m_joined.remove_if([&](const Joined& joined) {
    if (joined.connection) return false;
    // That launch is over: its host is let in no more.
    if (joined.admitted) {
      admission.Ended(joined.launch, now);
      if (m_report) m_report("a joined launch ended: its host is let in by the rule for an ended launch");
    }
    return true;
  });
  if (fds[m_slot].revents != 0) Accept();
}

// Only this user's own processes may join: the kernel tells who is on the
// other end.
void JoinListener::Accept() {
  for (;;) {
    UniqueFd connection(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection) return;
    const auto peer = PeerUid(connection.Get());
    if (!peer || !IsThisUser(*peer)) {
      if (m_report) m_report("refused a request to join from another user");
      continue;
    }
    m_joined.push_back({std::move(connection), {}, m_nextLaunch++, false, 0});
  }
}

void JoinListener::Read(Joined& joined, Admission& admission) {
  WipedArray<char, 64> bytes;
  const ssize_t got = ::read(joined.connection.Get(), bytes.Get().data(), bytes.Get().size());
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (got <= 0 || joined.request.View().size() > kRelayJoinLineLimit) {
    joined.connection.Reset();  // that launch is over, or talks nonsense
    return;
  }
  if (joined.admitted) return;
  joined.request.Edit().append(bytes.Get().data(), static_cast<std::size_t>(got));
  const std::size_t end = joined.request.View().find('\n');
  if (end == std::string::npos) return;
  std::string peer;
  std::optional<SecretCookie> cookie(std::in_place);
  // The line may hold a cookie: no copy outlives its parse but the admission's.
  const SecretString request = std::move(joined.request);
  const std::optional<bool> named = ParseJoinLine(request.View().substr(0, end), peer, cookie->Get());
  in_addr host{};
  const bool parsed = named && ::inet_pton(AF_INET, peer.c_str(), &host) == 1;
  // The relay keeps dovrel's rules itself: a relay of cookies is never
  // opened by address, and this machine is never a host let in by address
  // (every local user would get in).
  const auto refuse = [&](const std::string& why) {
    joined.connection.Reset();
    if (m_report) m_report("refused a request to join: " + why);
  };
  if (!parsed) return refuse("not a request");
  if (!*named && admission.OwnLaunchHasCookie()) return refuse("no cookie, and this relay admits by cookie");
  if (!*named && (ntohl(host.s_addr) >> 24 == 127 || IsAddressOfThisMachine(peer))) {
    return refuse(peer + " is this machine, which is never let in by address");
  }
  if (!*named) cookie.reset();
  admission.Let(joined.launch, host.s_addr, cookie);
  joined.admitted = true;
  ++m_count;
  const std::string_view ack = admission.ByAddress() ? kRelayJoinAckAddress : kRelayJoinAckCookie;
  ::send(joined.connection.Get(), ack.data(), ack.size(), MSG_NOSIGNAL);
  if (m_report) {
    m_report("a later launch joined: " + peer + " is let in too" +
             (cookie ? " with that launch's cookie" : " by its address alone"));
  }
}

}  // namespace dovrel
