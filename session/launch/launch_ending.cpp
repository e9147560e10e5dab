#include "session/launch/launch_ending.h"

#include <utility>

namespace dovrel {

LaunchCause LaunchEnding::Failed(LaunchCause cause, std::string detail) {
  // Standard error in English in every locale, for scripts and bug reports.
  m_reporter.Line(DescribeLaunchProblem(cause, m_target, detail));
  m_detail = std::move(detail);
  return cause;
}

LaunchCause LaunchEnding::LoginIncorrect(const std::string& why) {
  m_reporter.Line("Login incorrect: " + m_target.hostName + why);
  return LaunchCause::kLoginIncorrect;
}

LaunchCause LaunchEnding::Declined(LaunchCause cause) {
  m_declined = true;
  return cause;
}

SessionEnd LaunchEnding::End(LaunchCause cause, bool aborted) const {
  return {aborted ? LaunchCause::kAborted : cause, m_target, m_detail, aborted || m_declined};
}

}  // namespace dovrel
