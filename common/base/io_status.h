#pragma once

namespace dovrel {

// What one timed wait, read or write on a connection came to: the outcome
// of the I/O layer, which the layers above turn into their own.
enum class IoStatus {
  kOk,        // the socket is ready, or bytes were read
  kClosed,    // the peer has closed its sending side
  kTimedOut,  // the limit passed with nothing to read
  kAborted,   // the abort signal was triggered
  kFailed,    // the socket reported an error
  kUnacknowledged,  // what was typed has not been acknowledged within the limit: the link is dead
  kOverLimit,       // the limit of a whole step (the login) passed, however the host trickled
};

}  // namespace dovrel
