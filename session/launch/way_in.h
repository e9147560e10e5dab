#pragma once

#include <atomic>
#include <memory>

#include "session/launch/launch_cause.h"
#include "common/net/abort_signal.h"
#include "common/net/transport.h"
#include "session/launch/launch_ending.h"
#include "session/launch/reporter.h"
#include "session/launch/session_observer.h"
#include "session/launch/session_request.h"

namespace dovrel {

// What every way in shares for one launch: what it sends and where, the
// setup, the abort, the report, the clock, the ending, and the flag the
// form's teardown reads. The launch holds it for the way's whole run.
struct LaunchContext {
  SessionRequest& request;
  SessionSetup& setup;
  const AbortSignal& abort;
  SessionObserver& observer;
  Reporter& reporter;
  WaitClock& clock;
  LaunchEnding& ending;
  std::atomic<bool>& connectionOpen;  // true while the way holds a connection to the host
};

// One way to the host that logs in and starts the terminal there.
class WayIn {
 public:
  virtual ~WayIn() = default;
  // The whole launch over this way, to its cause. A line that explains a
  // failure has gone to the report; an abort is the launch's to decide.
  virtual LaunchCause Run() = 0;
};

}  // namespace dovrel
