#pragma once

#include <chrono>
#include <cstddef>
#include <span>

#include "abort_signal.h"

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

// Waits until `events` (POLLIN or POLLOUT) are ready on `socket`, the abort
// signal fires or `limit` passes. A negative limit waits without a deadline.
IoStatus WaitForSocket(int socket, short events, const AbortSignal& abort,
                       std::chrono::milliseconds limit);

// Reads at most buffer.size() bytes, waiting at most `limit` for the first.
RecvResult RecvWithTimeout(int socket, std::span<unsigned char> buffer, const AbortSignal& abort,
                           std::chrono::milliseconds limit);

// Sends every byte or reports failure. Never raises SIGPIPE; waits for room in
// the socket's buffer for at most `limit` at a time.
bool SendAll(int socket, std::span<const unsigned char> bytes, const AbortSignal& abort,
             std::chrono::milliseconds limit);

}  // namespace dovrel
