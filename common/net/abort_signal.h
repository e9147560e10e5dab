#pragma once

#include <atomic>

#include "common/net/unique_fd.h"

namespace dovrel {

// A one-way "stop now" flag that blocking calls can wait on.
//
// Closing a socket does not wake a thread blocked on it on Linux, so the form
// stops the worker through this signal instead: every wait of the worker polls
// the signal's descriptor beside the socket. Trigger() may be called from any
// thread, any number of times.
class AbortSignal {
 public:
  AbortSignal();
  AbortSignal(const AbortSignal&) = delete;
  AbortSignal& operator=(const AbortSignal&) = delete;

  void Trigger() noexcept;
  [[nodiscard]] bool IsTriggered() const noexcept;
  // Becomes readable (and stays so) once Trigger() has been called.
  [[nodiscard]] int PollFd() const noexcept { return m_event.Get(); }

 private:
  UniqueFd m_event;
  std::atomic<bool> m_triggered{false};
};

}  // namespace dovrel
