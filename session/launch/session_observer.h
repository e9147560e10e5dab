#pragma once

#include <memory>
#include <optional>
#include <string>

#include "session/launch/answer_slot.h"
#include "session/launch/launch_end.h"

namespace dovrel {

// What the worker is doing, for the form's status line.
enum class SessionPhase {
  kConnecting,
  kLoggingIn,
  kStartingTerminal,
  kWaitingForWindow,
};

// How the worker reaches the form. Implemented by the user interface; called
// on the worker thread.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;

  // The worker has moved on to `phase`.
  virtual void PhaseChanged(SessionPhase phase) = 0;

  // One line for standard error, without its line end.
  virtual void Report(const std::string& line) = 0;

  // The worker's last call: it is done, its connection closed (so a box
  // left on screen keeps nothing waiting on the host). The form shows
  // `end`'s box, if any, and closes; nothing once the form is gone.
  virtual void Finished(const SessionEnd& end) = 0;

  // The launch waits for the user to decide `question`: the answer goes in
  // `slot`. Without a form to ask, the answer is no.
  virtual void Ask(const UserQuestion& /*question*/, const std::shared_ptr<AnswerSlot>& slot) { slot->Give(false); }
};

}  // namespace dovrel
