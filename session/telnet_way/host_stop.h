#pragma once

#include <string>

#include "common/base/io_status.h"
#include "common/base/limits.h"
#include "session/launch/launch_cause.h"

namespace dovrel {

// Why the host stopped a launch at `step`; `sendError`: the system's error
// of the latest send that failed, or 0.
std::string WhyTheHostStopped(int sendError, Step step, IoStatus status, const Limits& limits);

// A line that could not be typed, in the system's words for `sendError`.
std::string CouldNotSend(int sendError);

}  // namespace dovrel
