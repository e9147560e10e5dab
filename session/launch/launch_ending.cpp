#include "session/launch/launch_ending.h"

#include <utility>

namespace dovrel {

LaunchCause LaunchEnding::Stopped(LaunchStop stop) {
  m_stop = std::move(stop);
  return m_stop.cause;
}

LaunchCause LaunchEnding::Declined(LaunchStop stop) {
  m_declined = true;
  return Stopped(std::move(stop));
}

SessionEnd LaunchEnding::End(LaunchCause cause, bool aborted) const {
  if (aborted) return {{LaunchCause::kAborted, {}, {}}, m_target, true};
  // A way that ended without naming its stop (a started terminal) hands
  // over its cause alone.
  LaunchStop stop = cause == m_stop.cause ? m_stop : LaunchStop{cause};
  return {std::move(stop), m_target, m_declined};
}

}  // namespace dovrel
