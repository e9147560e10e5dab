#pragma once

#include <string>

#include "common/base/limits.h"
#include "session/launch/launch_cause.h"
#include "session/launch/terminal_program.h"
#include "common/net/abort_signal.h"
#include "common/net/transport.h"
#include "session/launch/reporter.h"
#include "session/telnet/telnet_channel.h"
#include "session/watch/local_display.h"

namespace dovrel {

// After the command line has gone out: watches the display and reads the
// host's words at once, until one of them decides or the watch limit passes.
// A command line that the shell never read (a fresh prompt and no echo) is
// typed once more.
class LaunchWatch {
 public:
  LaunchWatch(TelnetChannel& channel, const AbortSignal& abort, WaitClock& clock, const Limits& limits,
              Reporter& reporter);

  // `watch` may be null: nothing on this machine can be watched.
  LaunchStop Run(TerminalWatch* watch, const TerminalProgram& program, const std::string& command);

 private:
  TelnetChannel& m_channel;
  const AbortSignal& m_abort;
  WaitClock& m_clock;
  const Limits& m_limits;
  Reporter& m_reporter;
};

}  // namespace dovrel
