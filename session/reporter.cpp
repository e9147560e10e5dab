#include "session/reporter.h"

#include <string.h>

#include <cctype>
#include <cstdio>
#include <utility>

#include "session/host_text/host_text.h"
#include "session/net/connector.h"
#include "session/net/error_text.h"

namespace dovrel {

Reporter::Reporter(SessionObserver& observer, WaitClock& clock, bool verbose)
    : m_observer(observer), m_clock(clock), m_verbose(verbose), m_started(clock.Now()) {}

Reporter::~Reporter() {
  ::explicit_bzero(m_secret.data(), m_secret.size());
  ::explicit_bzero(m_waiting.data(), m_waiting.size());
}

void Reporter::Start() { m_started = m_clock.Now(); }

void Reporter::Follow(TelnetChannel& channel) {
  if (!m_verbose) return;
  channel.ReportHeardTo([this](const std::string& heard) { HostText(heard); });
  // The host's text up to a typed line comes before it in the report.
  channel.ReportTypedTo([this, &channel](std::string_view shown) {
    Heard(channel);
    Verbose("typed: " + EscapeHostText(shown) + "\\n");
  });
}

void Reporter::Phase(SessionPhase phase, const std::string& what) {
  Verbose(what);
  m_observer.PhaseChanged(phase);
}

void Reporter::Verbose(const std::string& what) {
  if (!m_verbose) return;
  char stamp[32];
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(m_clock.Now() - m_started);
  std::snprintf(stamp, sizeof stamp, "%.3f s", static_cast<double>(elapsed.count()) / 1e6);
  m_observer.Report(std::string(kReportPrefix) + stamp + ": " + what);
}

void Reporter::Heard(TelnetChannel& channel) {
  if (!m_verbose) return;
  const std::string heard = channel.TakeHeard();
  if (!heard.empty()) HostText(heard);
}

void Reporter::HostText(const std::string& heard) {
  std::string text = m_waiting + heard;
  ::explicit_bzero(m_waiting.data(), m_waiting.size());
  m_waiting.clear();
  if (!m_secret.empty()) {
    // A piece of the secret may go on in the next chunk: judged whole then.
    std::size_t run = text.size();
    while (run > 0 && std::isxdigit(static_cast<unsigned char>(text[run - 1])) != 0) --run;
    if (text.size() - run <= 2 * m_secret.size()) {
      m_waiting = text.substr(run);
      text.erase(run);
    }
  }
  if (!text.empty()) Verbose("host: " + EscapeHostText(MaskSecret(text, m_secret)));
  ::explicit_bzero(text.data(), text.size());
}

void Reporter::Conceal(std::string secret) {
  ::explicit_bzero(m_secret.data(), m_secret.size());
  m_secret = std::move(secret);
}

void Reporter::FlushHeard() {
  if (m_waiting.empty()) return;
  const std::string waiting = std::exchange(m_waiting, {});
  Verbose("host: " + EscapeHostText(MaskSecret(waiting, m_secret)));
}

void Reporter::Line(const std::string& line) { m_observer.Report(std::string(kReportPrefix) + line); }

void Reporter::Stopped(TelnetChannel& channel, Step step, IoStatus status, const Limits& limits) {
  Heard(channel);
  std::string why;
  switch (status) {
    case IoStatus::kTimedOut:
      why = "the host sent nothing for " + Seconds(limits.readLimit);
      break;
    case IoStatus::kClosed:
      why = "the host closed the connection";
      break;
    case IoStatus::kUnacknowledged:
      why = "the host acknowledged nothing typed for " +
            Seconds(step == Step::kExit ? limits.readLimit : limits.ackLimit) + ": it is gone";
      break;
    default:
      why = channel.LastSendError() != 0 ? "could not send: " + ErrorText(channel.LastSendError())
                                         : std::string("the connection failed");
      break;
  }
  const std::string last = MaskSecret(LastLine(channel.LastHeard()), m_secret);
  Line("stopped " + std::string(StepText(step)) + ": " + why + "; " +
       (last.empty() ? std::string("it sent no text") : "its last line: \"" + last + "\""));
}

void Reporter::SendFailed(TelnetChannel& channel, Step step) {
  Heard(channel);
  Line("stopped " + std::string(StepText(step)) + ": could not send: " + ErrorText(channel.LastSendError()));
}

}  // namespace dovrel
