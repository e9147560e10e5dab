#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "common/base/limits.h"
#include "common/base/program_name.h"
#include "common/base/outcome.h"
#include "common/net/transport.h"
#include "common/secret/secret_bytes.h"
#include "session/session_observer.h"
#include "session/telnet/telnet_channel.h"

namespace dovrel {

// What the session tells the form and standard error: its phases, its
// failures, and under -v each step with its time, the host's text as it
// arrives and every line typed.
class Reporter {
 public:
  Reporter(SessionObserver& observer, WaitClock& clock, bool verbose);
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // The session's time starts now.
  void Start();
  // Under -v, the host's text and the typed lines of `channel`, in order.
  void Follow(TelnetChannel& channel);

  void Phase(SessionPhase phase, const std::string& what);
  // One line under -v, stamped with the session's time.
  void Verbose(const std::string& what);
  // Under -v, the host's text that `channel` has read and not yet reported.
  void Heard(TelnetChannel& channel);
  // From now on `secret` (hex digits) never shows in a report: the host's
  // text is shown with it masked, and a run of hex digits at the end of a
  // chunk waits for the rest of it in the next.
  void Conceal(SecretString secret);
  // Shows what still waits for the rest of a run of hex digits.
  void FlushHeard();
  // One line for standard error, always, after the program's name.
  void Line(const std::string& line);
  // Where the session stopped and why, quoting the host's last line.
  void Stopped(TelnetChannel& channel, Step step, IoStatus status, const Limits& limits);
  // Where a line could not be typed, and the system's words for it.
  void SendFailed(TelnetChannel& channel, Step step);

 private:
  SessionObserver& m_observer;
  WaitClock& m_clock;
  bool m_verbose;
  void HostText(const std::string& heard);

  std::chrono::steady_clock::time_point m_started;
  SecretString m_secret;
  SecretString m_waiting{256};  // a run of hex digits at the end of the last chunk
};

}  // namespace dovrel
