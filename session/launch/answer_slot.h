#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "session/host_text/host_words.h"

namespace dovrel {

// A question the worker puts to the user while a launch waits.
struct UserQuestion {
  enum class Kind {
    kHostKey,     // ssh asks about the host's key: `text` as ssh words it
    kStartXterm,  // the host has no kterm: start xterm instead?
  };
  std::string hostName;
  HostWords text;
  Kind kind = Kind::kHostKey;
};

// Where the user's answer comes back: given once, from any thread; the
// worker polls its descriptor beside its other waits.
class AnswerSlot {
 public:
  AnswerSlot() : m_ready(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  AnswerSlot(const AnswerSlot&) = delete;
  AnswerSlot& operator=(const AnswerSlot&) = delete;
  ~AnswerSlot() {
    if (m_ready >= 0) ::close(m_ready);
  }

  // The user's answer: yes to go on. Only the first counts.
  void Give(bool yes) {
    int expected = kOpen;
    if (!m_answer.compare_exchange_strong(expected, yes ? kYes : kNo)) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_ready, &one, sizeof one);
  }
  [[nodiscard]] std::optional<bool> Answer() const {
    const int answer = m_answer.load();
    if (answer == kOpen) return std::nullopt;
    return answer == kYes;
  }
  // Readable once the answer is given.
  [[nodiscard]] int PollFd() const { return m_ready; }

 private:
  static constexpr int kOpen = 0;
  static constexpr int kYes = 1;
  static constexpr int kNo = 2;
  const int m_ready;
  std::atomic<int> m_answer{kOpen};
};

}  // namespace dovrel
