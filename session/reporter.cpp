#include "session/reporter.h"

#include <cctype>
#include <cstdio>
#include <utility>

#include "session/host_text/host_text.h"
#include "common/net/connector.h"
#include "common/net/error_text.h"

namespace dovrel {

Reporter::Reporter(SessionObserver& observer, WaitClock& clock, bool verbose)
    : m_observer(observer), m_clock(clock), m_verbose(verbose), m_started(clock.Now()) {}

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
  SecretString text(m_waiting.View().size() + heard.size());
  text.Edit().append(m_waiting.View()).append(heard);
  m_waiting.Wipe();
  if (!m_secret.Empty()) {
    // A piece of the secret may go on in the next chunk: judged whole then.
    const std::string_view all = text.View();
    std::size_t run = all.size();
    while (run > 0 && std::isxdigit(static_cast<unsigned char>(all[run - 1])) != 0) --run;
    if (all.size() - run <= 2 * m_secret.View().size()) {
      m_waiting.Edit().append(all.substr(run));
      text.Edit().erase(run);
    }
  }
  if (!text.Empty()) Verbose("host: " + EscapeHostText(MaskSecret(text.View(), m_secret.View())));
}

void Reporter::Conceal(SecretString secret) { m_secret = std::move(secret); }

void Reporter::FlushHeard() {
  if (m_waiting.Empty()) return;
  const SecretString waiting = std::move(m_waiting);
  Verbose("host: " + EscapeHostText(MaskSecret(waiting.View(), m_secret.View())));
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
  const std::string last = MaskSecret(LastLine(channel.LastHeard()), m_secret.View());
  Line("stopped " + std::string(StepText(step)) + ": " + why + "; " +
       (last.empty() ? std::string("it sent no text") : "its last line: \"" + last + "\""));
}

void Reporter::SendFailed(TelnetChannel& channel, Step step) {
  Heard(channel);
  Line("stopped " + std::string(StepText(step)) + ": could not send: " + ErrorText(channel.LastSendError()));
}

}  // namespace dovrel
