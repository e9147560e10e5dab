#pragma once

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "common/net/transport.h"

namespace dovrel::test {

// A clock whose waits do not wait: a poll that would time out returns after
// a moment's real look (for bytes already on their way over loopback) and
// moves the clock on by its whole limit. Rules about the host's silence are
// then checked in this clock's time, without sleeping.
class SkippingClock final : public WaitClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  [[nodiscard]] TimePoint Now() const override { return std::chrono::steady_clock::now() + m_skipped.load(); }

  // Runs `action` on the waiting thread once this clock reaches `when`: a
  // host or a user that acts at set moments of the clock's time. A skip
  // stops at that moment, so the wait sees what the action did then.
  void At(TimePoint when, std::function<void()> action) {
    const std::lock_guard lock(m_mutex);
    m_actions.emplace(when, std::move(action));
  }

  int Poll(std::span<pollfd> fds, std::chrono::milliseconds limit) override {
    RunDueActions();
    const bool bounded = limit.count() >= 0;
    // A short wait gets a shorter look, so that a watch in slices runs fast.
    const auto look = bounded ? std::min(limit / 10, kLook) : kLook;
    std::optional<TimePoint> end;
    for (;;) {
      if (!bounded && !NextAction()) return ::poll(fds.data(), fds.size(), -1);
      const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(look.count()));
      if (ready != 0) return ready;
      // The whole limit after the first look: a wait never ends early.
      if (!end) end = Now() + (bounded && limit > look ? limit - look : std::chrono::milliseconds{});
      // Looked for after the look, so an action set meanwhile is not skipped.
      const std::optional<TimePoint> next = NextAction();
      if (next && (!bounded || *next <= *end)) {
        SkipTo(*next);
        RunDueActions();
        continue;
      }
      SkipTo(*end);
      return 0;
    }
  }

 private:
  static constexpr std::chrono::milliseconds kLook{25};

  void SkipTo(TimePoint when) {
    const auto ahead = when - Now();
    if (ahead.count() > 0) m_skipped = m_skipped.load() + ahead;
  }

  std::optional<TimePoint> NextAction() {
    const std::lock_guard lock(m_mutex);
    if (m_actions.empty()) return std::nullopt;
    return m_actions.begin()->first;
  }

  void RunDueActions() {
    for (;;) {
      std::function<void()> action;
      {
        const std::lock_guard lock(m_mutex);
        if (m_actions.empty() || m_actions.begin()->first > Now()) return;
        action = std::move(m_actions.begin()->second);
        m_actions.erase(m_actions.begin());
      }
      action();
    }
  }

  std::atomic<std::chrono::steady_clock::duration> m_skipped{};
  std::mutex m_mutex;
  std::multimap<TimePoint, std::function<void()>> m_actions;
};

}  // namespace dovrel::test
