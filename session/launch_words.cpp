#include "launch_words.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <utility>

namespace dovrel {

namespace {

constexpr std::size_t kQuoteLimit = 200;

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         }) != text.end();
}

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view word) { return ContainsIgnoringCase(text, word); });
}

// What shells say when a command cannot be run: dash "kterm: not found",
// bash "kterm: command not found", tcsh "kterm: Command not found.", zsh
// "command not found: kterm", fish "Unknown command: kterm", and the errors
// of a path that is missing or not executable.
bool SaysProgramMissing(std::string_view line, std::string_view program) {
  return line.find(program) != std::string_view::npos &&
         ContainsAny(line, {"not found", "No such file or directory", "Permission denied",
                            "Unknown command"});
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

bool IsLoginPrompt(std::string_view line) {
  // "login: " or "host login: ", as login programs print it.
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  if (!line.ends_with("login:")) return false;
  line.remove_suffix(6);
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  return line.find(' ') == std::string_view::npos;
}

}  // namespace

LaunchWords::LaunchWords(std::string program) : m_program(std::move(program)) {}

bool LaunchWords::Feed(unsigned char byte) {
  if (m_verdict != LaunchVerdict::kNone) return true;
  if (m_terminal.Feed(byte) != TerminalText::Kind::kVisible) return false;
  if (byte == '\n') {
    Judge(true);
    m_line.clear();
  } else if (byte >= 0x20 || byte == '\t') {
    if (m_line.size() < kLineLimit) m_line.push_back(static_cast<char>(byte));
  }
  return m_verdict != LaunchVerdict::kNone;
}

bool LaunchWords::Paused() {
  // A prompt has no line end: it is judged as it stands once the host waits.
  if (m_verdict == LaunchVerdict::kNone) Judge(false);
  return m_verdict != LaunchVerdict::kNone;
}

void LaunchWords::Judge(bool complete) {
  LaunchVerdict verdict = LaunchVerdict::kNone;
  if (!complete) {
    if (IsLoginPrompt(m_line)) verdict = LaunchVerdict::kLoginIncorrect;
  } else if (ContainsIgnoringCase(m_line, "Login incorrect")) {
    verdict = LaunchVerdict::kLoginIncorrect;
  } else if (SaysProgramMissing(m_line, m_program)) {
    verdict = LaunchVerdict::kProgramMissing;
  } else if (SaysRefused(m_line)) {
    verdict = LaunchVerdict::kDisplayRefused;
  } else if (SaysNoDisplay(m_line)) {
    verdict = LaunchVerdict::kDisplayFailed;
  }
  if (verdict == LaunchVerdict::kNone) return;
  m_verdict = verdict;
  m_decidingLine = QuoteHostText(m_line);
}

void UnreadCommand::Feed(unsigned char byte) {
  m_shell.Feed(byte);
  if (m_terminal.Feed(byte) == TerminalText::Kind::kVisible && m_echo.Feed(byte)) m_echoed = true;
}

std::string QuoteHostText(std::string_view text) {
  std::string quoted;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) quoted.push_back(c);
  }
  const auto blank = [](char c) { return c == ' '; };
  while (!quoted.empty() && blank(quoted.back())) quoted.pop_back();
  const auto first = std::find_if_not(quoted.begin(), quoted.end(), blank);
  quoted.erase(quoted.begin(), first);
  if (quoted.size() > kQuoteLimit) {
    std::size_t end = kQuoteLimit;
    // Step back over UTF-8 continuation bytes so no character is cut.
    while (end > 0 && (static_cast<unsigned char>(quoted[end]) & 0xC0) == 0x80) --end;
    quoted.resize(end);
  }
  return quoted;
}

}  // namespace dovrel
