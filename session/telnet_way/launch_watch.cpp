#include "session/telnet_way/launch_watch.h"

#include <poll.h>

#include <algorithm>

#include "session/host_text/launch_words.h"

namespace dovrel {

LaunchWatch::LaunchWatch(TelnetChannel& channel, const AbortSignal& abort, WaitClock& clock,
                         const Limits& limits, Reporter& reporter)
    : m_channel(channel), m_abort(abort), m_clock(clock), m_limits(limits), m_reporter(reporter) {}

LaunchStop LaunchWatch::Run(TerminalWatch* watch, const TerminalProgram& program, const std::string& command) {
  const auto deadline = m_clock.Now() + m_limits.watchLimit;
  auto lastHeard = m_clock.Now();
  bool hostOpen = true;
  LaunchWords words{std::string(program.name)};
  // The echo of every command line shows its geometry.
  UnreadCommand unread(TerminalProgram::kGeometry);
  bool retyped = false;
  const auto hostSaid = [&words] { return LaunchStop{CauseOf(words.Verdict()), words.Said()}; };
  for (;;) {
    if (m_abort.IsTriggered()) return LaunchStop{LaunchCause::kAborted};
    const auto now = m_clock.Now();
    if (watch != nullptr && watch->Seen(now)) return LaunchStop{LaunchCause::kSeen};
    const bool seesWindows = watch != nullptr && watch->SeesWindows();
    // No window in time means a firewall only once the host has taken the
    // command line; until then the watch goes on, and ends when the host's
    // time to acknowledge it runs out (the read says so).
    const bool acknowledged = m_channel.AllAcknowledged();
    if (now >= deadline && (acknowledged || !hostOpen)) {
      return LaunchStop{seesWindows ? LaunchCause::kNoWindow : LaunchCause::kAssumed};
    }
    // Without the window to watch, a host quiet after it took the command is
    // taken at its word: nothing speaks against the launch.
    if (!seesWindows && (!hostOpen || (now - lastHeard >= m_limits.drainQuiet && acknowledged))) {
      return LaunchStop{LaunchCause::kAssumed};
    }
    const auto slice = now >= deadline ? m_limits.watchSlice
                                       : std::min(m_limits.watchSlice,
                                                  std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    if (!hostOpen) {
      if (WaitForSocket(m_abort.PollFd(), POLLIN, m_abort, slice, m_clock) == IoStatus::kAborted) {
        return LaunchStop{LaunchCause::kAborted};
      }
      continue;
    }
    // Each read ends with its slice, acknowledged or not: the display is
    // looked at again every slice.
    const TelnetChannel::DataByte next = m_channel.ReadDataByte(slice, m_clock.Now() + slice);
    if (next.status == IoStatus::kOk) {
      lastHeard = m_clock.Now();
      unread.Feed(next.byte);
      if (words.Feed(next.byte)) return hostSaid();
    } else if (next.status == IoStatus::kTimedOut) {
      if (words.Paused()) return hostSaid();
      // Proof that the line was thrown away unread: type it once more.
      if (!retyped && unread.PromptWithoutEcho() && m_clock.Now() - lastHeard >= m_limits.freshPromptQuiet) {
        m_reporter.Verbose("a fresh prompt and no echo: the command line was not read; typing it again");
        if (!m_channel.SendLine(command)) return LaunchStop{LaunchCause::kSendFailed};
        retyped = true;
      }
    } else if (next.status == IoStatus::kAborted) {
      return LaunchStop{LaunchCause::kAborted};
    } else if (next.status == IoStatus::kUnacknowledged) {
      return LaunchStop{LaunchCause::kHostStopped};
    } else {
      hostOpen = false;
      m_reporter.Verbose("the host closed the connection");
    }
  }
}

}  // namespace dovrel
