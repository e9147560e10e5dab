#pragma once

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "session/net/transport.h"

namespace dovrel::test {

// A clock whose waits do not wait: a poll that would time out returns after
// a moment's real look (for bytes already on their way over loopback) and
// moves the clock on by its whole limit. Rules about the host's silence are
// then checked in this clock's time, without sleeping.
class SkippingClock final : public WaitClock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point Now() const override {
    return std::chrono::steady_clock::now() + m_skipped.load();
  }

  int Poll(std::span<pollfd> fds, std::chrono::milliseconds limit) override {
    using namespace std::chrono_literals;
    // A short wait gets a shorter look, so that a watch in slices runs fast.
    const auto look = limit.count() < 0 ? limit : std::min(limit / 10, kLook);
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(look.count()));
    if (ready == 0 && limit > look) m_skipped = m_skipped.load() + (limit - look);
    return ready;
  }

 private:
  static constexpr std::chrono::milliseconds kLook{25};
  std::atomic<std::chrono::steady_clock::duration> m_skipped{};
};

}  // namespace dovrel::test
