#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <span>

#include "common/base/io_status.h"
#include "common/net/abort_signal.h"

namespace dovrel {

struct RecvResult {
  IoStatus status = IoStatus::kFailed;
  std::size_t count = 0;  // bytes read when status is kOk
};

// The time the session's waits are measured in, and the wait itself. The
// program uses the system's; a test may put in one that skips the waiting,
// so that a rule about the host's silence is checked without sleeping.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  [[nodiscard]] virtual std::chrono::steady_clock::time_point Now() const = 0;
  // poll(2) on `fds` for at most `limit`; a negative limit waits without one.
  virtual int Poll(std::span<pollfd> fds, std::chrono::milliseconds limit) = 0;
};

// The system's steady clock and poll(2).
WaitClock& SystemClock();

// Waits until `events` (POLLIN or POLLOUT) are ready on `socket`, the abort
// signal fires or `limit` passes. A negative limit waits without a deadline.
IoStatus WaitForSocket(int socket, short events, const AbortSignal& abort,
                       std::chrono::milliseconds limit, WaitClock& clock = SystemClock());

// How long the host may take to acknowledge what was typed. The patience
// runs from the moment the bytes were handed to the socket, not from the
// call that waits, so that waiting in short slices does not renew it.
struct AckPatience {
  std::chrono::steady_clock::time_point lastSent{};  // on the wait's clock
  // Both from the table of limits (ackLimit, ackPoll).
  std::chrono::milliseconds limit{};
  std::chrono::milliseconds poll{};  // how often the send queue is looked at
};

// Whether the host has acknowledged every byte handed to `socket`.
bool HostHasAllSent(int socket);

// No end beyond the wait's own rules.
inline constexpr std::chrono::steady_clock::time_point kNoDeadline = std::chrono::steady_clock::time_point::max();

// Waits for bytes from the host, or until it has been quiet for `quiet`. The
// quiet counts only once the host has acknowledged every byte sent to it: on
// a slow or lossy link it may not have what was typed yet, and cannot be
// expected to answer. A host that has acknowledged nothing within the
// patience gives kUnacknowledged; no wait goes past `deadline` (kTimedOut).
IoStatus WaitForHost(int socket, const AbortSignal& abort, std::chrono::milliseconds quiet,
                     const AckPatience& patience, WaitClock& clock = SystemClock(),
                     std::chrono::steady_clock::time_point deadline = kNoDeadline);

// Has the kernel acknowledge what the host sends at once, not after its
// delayed-acknowledgement timer (40 ms or more on Linux): a host whose
// prompt comes in more than one segment sends the rest only once the first
// is acknowledged (Nagle's rule on its side).
void AcknowledgeAtOnce(int socket);

// Reads at most buffer.size() bytes, waiting as WaitForHost does, and
// acknowledges at once what it read.
RecvResult RecvWithTimeout(int socket, std::span<unsigned char> buffer, const AbortSignal& abort,
                           std::chrono::milliseconds quiet, const AckPatience& patience,
                           WaitClock& clock = SystemClock(),
                           std::chrono::steady_clock::time_point deadline = kNoDeadline);

// Sends every byte or reports failure (errno tells why). Never raises
// SIGPIPE; waits for room in the socket's buffer for at most `limit` in all.
bool SendAll(int socket, std::span<const unsigned char> bytes, const AbortSignal& abort,
             std::chrono::milliseconds limit, WaitClock& clock = SystemClock());

}  // namespace dovrel
