#include "session/launch/reporter.h"

#include <cctype>
#include <cstdio>
#include <utility>

#include "session/host_text/host_text.h"

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

}  // namespace dovrel
