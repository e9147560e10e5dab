#include "session/host_text/shell_readiness.h"

#include "session/host_text/host_text.h"

#include <array>
#include <string_view>

namespace dovrel {

namespace {


// The last character of the usual prompts, in UTF-8.
constexpr std::array<std::string_view, 9> kPromptEnds = {
    "$", "#", "%", ">", "\xe2\x9d\xaf" /* ❯ */, "\xe2\x9e\x9c" /* ➜ */, "\xce\xbb" /* λ */,
    "\xc2\xbb" /* » */, "\xe2\x86\x92" /* → */};

}  // namespace

bool EndsInPromptCharacter(const std::string& text) {
  for (const std::string_view end : kPromptEnds) {
    if (text.ends_with(end)) return true;
  }
  return false;
}

void ShellReadiness::Feed(unsigned char byte) {
  switch (m_terminal.Feed(byte)) {
    case TerminalText::Kind::kVisible:
      AppendVisible(byte);
      return;
    case TerminalText::Kind::kCursorMovement:
      if (m_visibleOnLine && !m_lineBeforeMove) m_lineBeforeMove = TrimmedTail();
      m_endsWithMove = true;
      return;
    case TerminalText::Kind::kControl:
      return;
  }
}

void ShellReadiness::AppendVisible(unsigned char byte) {
  // A carriage return may be part of drawing a right-hand prompt: the line
  // goes on until its line feed.
  if (byte == '\0' || byte == '\r') return;
  if (byte == '\n') {
    m_line.clear();
    m_lineBeforeMove.reset();
    m_visibleOnLine = false;
    m_endsWithMove = false;
  } else if (!IsBlank(static_cast<char>(byte))) {
    m_hasText = true;
    m_visibleOnLine = true;
    m_endsWithMove = false;
  }
  if (byte != '\n') {
    if (m_line.size() == kHostLineLength) m_line.erase(0, 1);
    m_line.push_back(static_cast<char>(byte));
    // Looked for as each byte arrives: on a long line the words would
    // otherwise have left the kept part before the line ends.
    if (m_line.size() >= kLoginIncorrectText.size() &&
        SaysLoginIncorrect(std::string_view(m_line).substr(m_line.size() - kLoginIncorrectText.size()))) {
      m_saidIncorrect = true;
    }
  }
  if (m_tail.size() == kTailLength) m_tail.erase(0, 1);
  m_tail.push_back(static_cast<char>(byte));
}

std::string ShellReadiness::TrimmedTail() const {
  std::string_view tail = m_tail;
  while (!tail.empty() && IsBlank(tail.back())) tail.remove_suffix(1);
  return std::string(tail);
}

bool ShellReadiness::EndsInShellPrompt() const {
  if (EndsInPromptCharacter(TrimmedTail())) return true;
  // A right-hand prompt: text, a move to the right margin, more text and a
  // move back to just after the prompt.
  return m_endsWithMove && m_lineBeforeMove && EndsInPromptCharacter(*m_lineBeforeMove);
}

bool ShellReadiness::LoginFailed() const {
  return m_saidIncorrect || IsLoginPrompt(m_line);
}

}  // namespace dovrel
