#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "session/host_text/terminal_text.h"

namespace dovrel {

// Reads what the host prints after the password line and tells, once the host
// falls quiet, whether a shell is waiting or the login failed.
//
// Only the visible text counts: terminal control sequences (a shell may end
// its prompt with ESC [ ? 2004 h), NUL and CR are looked past. A prompt that
// the shell follows with a right-hand prompt, drawn with cursor movements
// and the cursor then brought back, still counts as a prompt.
class ShellReadiness {
 public:
  void Feed(unsigned char byte);

  // Something other than blanks and line ends has arrived.
  [[nodiscard]] bool HasText() const { return m_hasText; }
  // The text ends in a prompt character ($, #, %, > or one of the themed
  // shells' ❯ ➜ λ » →), blanks after it allowed.
  [[nodiscard]] bool EndsInShellPrompt() const;
  // "Login incorrect" has arrived, or the text ends in a new login prompt.
  [[nodiscard]] bool LoginFailed() const;

 private:
  void AppendVisible(unsigned char byte);
  [[nodiscard]] std::string TrimmedTail() const;

  static constexpr std::size_t kTailLength = 64;

  TerminalText m_terminal;
  std::string m_tail;  // the last visible bytes
  bool m_hasText = false;
  std::string m_line;  // the visible text of the current line
  bool m_saidIncorrect = false;
  // The line as it stood when the cursor first moved away after text on it,
  // and whether a cursor movement is the last thing the host sent.
  std::optional<std::string> m_lineBeforeMove;
  bool m_visibleOnLine = false;
  bool m_endsWithMove = false;
};

// True when `text` ends in one of the prompt characters above (no blanks).
bool EndsInPromptCharacter(const std::string& text);

}  // namespace dovrel
