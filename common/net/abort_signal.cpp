#include "common/net/abort_signal.h"

#include <sys/eventfd.h>

#include <cstdint>
#include <system_error>

namespace dovrel {

AbortSignal::AbortSignal() : m_event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!m_event) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void AbortSignal::Trigger() noexcept {
  if (m_triggered.exchange(true)) return;
  const std::uint64_t one = 1;
  // The counter is never read back, so it stays readable for every later poll.
  [[maybe_unused]] const auto written = ::write(m_event.Get(), &one, sizeof one);
}

bool AbortSignal::IsTriggered() const noexcept { return m_triggered.load(); }

}  // namespace dovrel
