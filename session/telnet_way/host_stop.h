#pragma once

#include "common/base/io_status.h"
#include "common/base/limits.h"
#include "session/host_text/host_words.h"
#include "session/launch/launch_cause.h"
#include "session/login/login_dialogue.h"

namespace dovrel {

// The launch's stop where the host stopped it at `step`, with the host's
// last line; `sendError`: the system's error of the latest send that
// failed, or 0.
LaunchStop HostStopped(Step step, IoStatus status, int sendError, HostWords lastLine, const Limits& limits);

// Where a line could not be typed, in the system's words for `sendError`.
LaunchStop SendFailedAt(Step step, int sendError);

// The login dialogue's stop, as the launch's.
LaunchStop StopOfLogin(const LoginStop& login, HostWords lastLine, int sendError, const Limits& limits);

}  // namespace dovrel
