#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <span>

#include "net/abort_signal.h"

namespace dovrel {

// What one timed wait or read on the connection came to.
enum class IoStatus {
  kOk,        // the socket is ready, or bytes were read
  kClosed,    // the peer has closed its sending side
  kTimedOut,  // the limit passed with nothing to read
  kAborted,   // the abort signal was triggered
  kFailed,    // the socket reported an error
};

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

// Waits for bytes from the host, or until it has been quiet for `limit`. The
// quiet counts only once the host has acknowledged every byte sent to it: on
// a slow or lossy link it may not have what was typed yet, and cannot be
// expected to answer.
IoStatus WaitForHost(int socket, const AbortSignal& abort, std::chrono::milliseconds limit,
                     WaitClock& clock = SystemClock());

// Reads at most buffer.size() bytes, waiting as WaitForHost does.
RecvResult RecvWithTimeout(int socket, std::span<unsigned char> buffer, const AbortSignal& abort,
                           std::chrono::milliseconds limit, WaitClock& clock = SystemClock());

// Sends every byte or reports failure. Never raises SIGPIPE; waits for room in
// the socket's buffer for at most `limit` at a time.
bool SendAll(int socket, std::span<const unsigned char> bytes, const AbortSignal& abort,
             std::chrono::milliseconds limit, WaitClock& clock = SystemClock());

}  // namespace dovrel
