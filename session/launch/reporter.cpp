#include "session/launch/reporter.h"

#include <cctype>
#include <cstdio>
#include <utility>

#include "session/host_text/host_text.h"
#include "common/net/connector.h"
#include "common/net/error_text.h"

namespace dovrel {

Reporter::Reporter(SessionObserver& observer, WaitClock& clock, bool verbose, const AbortSignal* abort)
    : m_observer(observer), m_clock(clock), m_verbose(verbose), m_abort(abort), m_started(clock.Now()) {}

void Reporter::Start() { m_started = m_clock.Now(); }

void Reporter::Phase(SessionPhase phase, const std::string& what) {
  Verbose(what);
  m_observer.PhaseChanged(phase);
}

void Reporter::Verbose(const std::string& what) {
  if (!m_verbose) return;
  if (m_beforeEachLine) m_beforeEachLine();
  char stamp[32];
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(m_clock.Now() - m_started);
  std::snprintf(stamp, sizeof stamp, "%.3f s", static_cast<double>(elapsed.count()) / 1e6);
  m_observer.Report(std::string(kReportPrefix) + stamp + ": " + what);
}

void Reporter::Line(const std::string& line) {
  if (m_abort != nullptr && m_abort->IsTriggered()) return;
  if (m_beforeEachLine) m_beforeEachLine();
  m_observer.Report(std::string(kReportPrefix) + line);
}

void Reporter::Stopped(const std::string& lastLine, int sendError, Step step, IoStatus status,
                       const Limits& limits) {
  std::string why;
  switch (status) {
    case IoStatus::kTimedOut:
      why = "the host sent nothing for " + Seconds(limits.readLimit);
      break;
    case IoStatus::kClosed:
      why = "the host closed the connection";
      break;
    case IoStatus::kOverLimit:
      why = "the host did not get to the shell's prompt within " + Seconds(limits.loginLimit) +
            " of the connection";
      break;
    case IoStatus::kUnacknowledged:
      why = "the host acknowledged nothing typed for " +
            Seconds(step == Step::kExit ? limits.readLimit : limits.ackLimit) + ": it is gone";
      break;
    default:
      why = sendError != 0 ? "could not send: " + ErrorText(sendError) : std::string("the connection failed");
      break;
  }
  Line("stopped " + std::string(StepText(step)) + ": " + why + "; " +
       (lastLine.empty() ? std::string("it sent no text") : "its last line: \"" + lastLine + "\""));
}

void Reporter::SendFailed(int sendError, Step step) {
  Line("stopped " + std::string(StepText(step)) + ": could not send: " + ErrorText(sendError));
}

}  // namespace dovrel
