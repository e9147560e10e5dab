#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "common/base/limits.h"
#include "common/base/program_name.h"
#include "session/launch/launch_cause.h"
#include "common/net/abort_signal.h"
#include "common/net/transport.h"
#include "session/launch/session_observer.h"

namespace dovrel {

// What the session tells the form and standard error: its phases, its
// notices, and under -v each step with its time, the host's text as it
// arrives and every line typed.
class Reporter {
 public:
  // Once `abort` is triggered the user has seen the launch end, and no
  // line tells of its problems any more (the verbose steps go on).
  Reporter(SessionObserver& observer, WaitClock& clock, bool verbose, const AbortSignal* abort = nullptr);
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // The session's time starts now.
  void Start();
  [[nodiscard]] bool IsVerbose() const { return m_verbose; }
  // Runs `flush` before each line the report writes (a transcript's text
  // heard so far goes first); empty: nothing.
  void BeforeEachLine(std::function<void()> flush) { m_beforeEachLine = std::move(flush); }

  void Phase(SessionPhase phase, const std::string& what);
  // One line under -v, stamped with the session's time.
  void Verbose(const std::string& what);
  // One line for standard error, always, after the program's name.
  void Line(const std::string& line);

 private:
  SessionObserver& m_observer;
  WaitClock& m_clock;
  bool m_verbose;
  const AbortSignal* m_abort;
  std::function<void()> m_beforeEachLine;
  std::chrono::steady_clock::time_point m_started;
};

}  // namespace dovrel
