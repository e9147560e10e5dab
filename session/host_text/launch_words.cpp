#include "session/host_text/launch_words.h"

#include "session/host_text/host_text.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace dovrel {

namespace {

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view word) { return ContainsIgnoringCase(text, word); });
}

// Xlib's words when the server turns a client away.
bool SaysRefused(std::string_view line) {
  return ContainsAny(line, {"Authorization required", "No protocol specified",
                            "Invalid MIT-MAGIC-COOKIE-1 key"});
}

bool SaysNoDisplay(std::string_view line) {
  return ContainsAny(line, {"Can't open display", "cannot open display", "unable to open display",
                            "Xt error"});
}

}  // namespace

LaunchWords::LaunchWords(std::string program) : m_program(std::move(program)) {}

bool LaunchWords::Feed(unsigned char byte) {
  if (m_verdict != HostSays::kNothing) return true;
  if (m_line.Feed(byte) == VisibleLine::Byte::kLineEnd) Judge(m_line.Finished(), true);
  return m_verdict != HostSays::kNothing;
}

bool LaunchWords::Paused() {
  // A prompt has no line end: it is judged as it stands once the host waits.
  if (m_verdict == HostSays::kNothing) Judge(m_line.Current(), false);
  return m_verdict != HostSays::kNothing;
}

void LaunchWords::Judge(const std::string& line, bool complete) {
  HostSays verdict = HostSays::kNothing;
  if (!complete) {
    if (IsLoginPrompt(line)) verdict = HostSays::kLoginIncorrect;
  } else if (SaysLoginIncorrect(line)) {
    verdict = HostSays::kLoginIncorrect;
  } else if (SaysProgramMissing(line, m_program)) {
    verdict = HostSays::kProgramMissing;
  } else if (SaysRefused(line)) {
    verdict = HostSays::kDisplayRefused;
  } else if (SaysNoDisplay(line)) {
    verdict = HostSays::kDisplayFailed;
  }
  if (verdict == HostSays::kNothing) return;
  m_verdict = verdict;
  m_said = HostWords(line);
}

void UnreadCommand::Feed(unsigned char byte) {
  m_shell.Feed(byte);
  if (m_terminal.Feed(byte) == TerminalText::Kind::kVisible && m_echo.Feed(byte)) m_echoed = true;
}

}  // namespace dovrel
