#pragma once

#include <string>
#include <utility>

#include "common/base/outcome.h"
#include "session/launch/launch_report.h"
#include "session/launch/reporter.h"

namespace dovrel {

// How one launch ends, whichever way in it took: the way names a cause and
// what its words quote, and the ending writes the English line for standard
// error from it; the form writes its box from the same end.
class LaunchEnding {
 public:
  LaunchEnding(Reporter& reporter, LaunchTarget target) : m_reporter(reporter), m_target(std::move(target)) {}

  // This machine's address as the host sees it, once the way knows it.
  void SeenAs(std::string address) { m_target.address = std::move(address); }
  [[nodiscard]] const LaunchTarget& Target() const { return m_target; }
  // The user chose xterm where kterm was missing: the words name it.
  void StartsXterm() { m_target.xterm = true; }

  // The terminal did not start, for a cause the launch's words explain.
  LaunchCause Failed(LaunchCause cause, std::string detail);
  // The host refused the login; `why` follows the host's name.
  LaunchCause LoginIncorrect(const std::string& why);
  // The user said no to the way's question: no box tells it.
  LaunchCause Declined(LaunchCause cause);

  // The end the form is handed. A launch whose form was closed first ended
  // by the user, whatever the way found meanwhile.
  [[nodiscard]] SessionEnd End(LaunchCause cause, bool aborted) const;

 private:
  Reporter& m_reporter;
  LaunchTarget m_target;
  std::string m_detail;
  bool m_declined = false;
};

}  // namespace dovrel
