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

// Waits for bytes from the host, or until it has been quiet for `limit`. The
// quiet counts only once the host has acknowledged every byte sent to it: on
// a slow or lossy link it may not have what was typed yet, and cannot be
// expected to answer.
IoStatus WaitForHost(int socket, const AbortSignal& abort, std::chrono::milliseconds limit);

// Reads at most buffer.size() bytes, waiting as WaitForHost does.
RecvResult RecvWithTimeout(int socket, std::span<unsigned char> buffer, const AbortSignal& abort,
                           std::chrono::milliseconds limit);

// Sends every byte or reports failure. Never raises SIGPIPE; waits for room in
// the socket's buffer for at most `limit` at a time.
bool SendAll(int socket, std::span<const unsigned char> bytes, const AbortSignal& abort,
             std::chrono::milliseconds limit);

}  // namespace dovrel
