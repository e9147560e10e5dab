#pragma once

#include <string>
#include <utility>

#include "session/launch/launch_end.h"

namespace dovrel {

// How one launch ends, whichever way in it took: the way names its stop, and
// the front end writes the box and the English line from the same end.
class LaunchEnding {
 public:
  explicit LaunchEnding(LaunchTarget target) : m_target(std::move(target)) {}

  // This machine's address as the host sees it, once the way knows it.
  void SeenAs(std::string address) { m_target.address = std::move(address); }
  [[nodiscard]] const LaunchTarget& Target() const { return m_target; }
  // The user chose xterm where kterm was missing: the words name it.
  void StartsXterm() { m_target.xterm = true; }

  // The terminal did not start: the stop, whole, is what the end tells.
  LaunchCause Stopped(LaunchStop stop);
  // The user said no to the way's question: no box tells it.
  LaunchCause Declined(LaunchStop stop);

  // The end the front end is handed. A launch whose form was closed first
  // ended by the user, whatever the way found meanwhile.
  [[nodiscard]] SessionEnd End(LaunchCause cause, bool aborted) const;

 private:
  LaunchTarget m_target;
  LaunchStop m_stop;
  bool m_declined = false;
};

}  // namespace dovrel
