#include "common/net/transport.h"

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace dovrel {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Remaining(Clock::time_point deadline, const WaitClock& clock) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.Now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

class SystemWaitClock final : public WaitClock {
 public:
  [[nodiscard]] Clock::time_point Now() const override { return Clock::now(); }
  int Poll(std::span<pollfd> fds, std::chrono::milliseconds limit) override {
    return ::poll(fds.data(), fds.size(), limit.count() < 0 ? -1 : static_cast<int>(limit.count()));
  }
};

}  // namespace

bool HostHasAllSent(int socket) {
  int queued = 0;
  // A socket that cannot tell is taken as drained: no wait on a guess.
  return ::ioctl(socket, SIOCOUTQ, &queued) != 0 || queued == 0;
}

WaitClock& SystemClock() {
  static SystemWaitClock clock;
  return clock;
}

IoStatus WaitForHost(int socket, const AbortSignal& abort, std::chrono::milliseconds quiet,
                     const AckPatience& patience, WaitClock& clock, Clock::time_point deadline) {
  const auto ackBy = patience.lastSent + patience.limit;
  while (!HostHasAllSent(socket)) {
    const auto now = clock.Now();
    if (now >= deadline) return IoStatus::kTimedOut;
    if (now >= ackBy) return IoStatus::kUnacknowledged;
    const auto slice = std::min({patience.poll, Remaining(deadline, clock), Remaining(ackBy, clock)});
    const IoStatus waited = WaitForSocket(socket, POLLIN, abort, std::max(slice, std::chrono::milliseconds(1)), clock);
    if (waited != IoStatus::kTimedOut) return waited;
  }
  const auto limit = deadline == kNoDeadline ? quiet : std::min(quiet, Remaining(deadline, clock));
  return WaitForSocket(socket, POLLIN, abort, limit, clock);
}

IoStatus WaitForSocket(int socket, short events, const AbortSignal& abort,
                       std::chrono::milliseconds limit, WaitClock& clock) {
  const bool unlimited = limit.count() < 0;
  const auto deadline = clock.Now() + (unlimited ? std::chrono::milliseconds(0) : limit);
  for (;;) {
    if (abort.IsTriggered()) return IoStatus::kAborted;
    pollfd fds[2] = {{socket, events, 0}, {abort.PollFd(), POLLIN, 0}};
    const int ready = clock.Poll(fds, unlimited ? std::chrono::milliseconds(-1) : Remaining(deadline, clock));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return IoStatus::kFailed;
    }
    if (fds[1].revents != 0) return IoStatus::kAborted;
    // POLLERR and POLLHUP are left to the read or write that follows, which
    // tells a closed connection from a failed one.
    if (fds[0].revents != 0) return IoStatus::kOk;
    if (ready == 0 || (!unlimited && Remaining(deadline, clock).count() == 0)) return IoStatus::kTimedOut;
  }
}

void AcknowledgeAtOnce(int socket) {
  // The kernel leaves quick-ack mode on its own after a while: set again
  // after every read. Nothing on a socket that is not TCP.
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

RecvResult RecvWithTimeout(int socket, std::span<unsigned char> buffer, const AbortSignal& abort,
                           std::chrono::milliseconds quiet, const AckPatience& patience, WaitClock& clock,
                           Clock::time_point deadline) {
  for (;;) {
    const IoStatus waited = WaitForHost(socket, abort, quiet, patience, clock, deadline);
    if (waited != IoStatus::kOk) return {waited, 0};
    const ssize_t got = ::recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got > 0) {
      AcknowledgeAtOnce(socket);
      return {IoStatus::kOk, static_cast<std::size_t>(got)};
    }
    if (got == 0) return {IoStatus::kClosed, 0};
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    return {IoStatus::kFailed, 0};
  }
}

bool SendAll(int socket, std::span<const unsigned char> bytes, const AbortSignal& abort,
             std::chrono::milliseconds limit, WaitClock& clock) {
  const auto deadline = clock.Now() + limit;
  while (!bytes.empty()) {
    if (abort.IsTriggered()) {
      errno = ECANCELED;
      return false;
    }
    const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const IoStatus room = WaitForSocket(socket, POLLOUT, abort, Remaining(deadline, clock), clock);
      if (room == IoStatus::kTimedOut) errno = ETIMEDOUT;
      if (room == IoStatus::kAborted) errno = ECANCELED;
      if (room != IoStatus::kOk) return false;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace dovrel
