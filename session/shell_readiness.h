#pragma once

#include <cstddef>
#include <string>

#include "prompt_matcher.h"

namespace dovrel {

// Reads what the host prints after the password line and tells, once the host
// falls quiet, whether a shell is waiting or the login failed.
//
// Only the visible text counts: terminal control sequences (a shell may end
// its prompt with ESC [ ? 2004 h), NUL and CR are looked past.
class ShellReadiness {
 public:
  void Feed(unsigned char byte);

  // Something other than blanks and line ends has arrived.
  [[nodiscard]] bool HasText() const { return m_hasText; }
  // The text ends in $, #, % or >, blanks after it allowed.
  [[nodiscard]] bool EndsInShellPrompt() const;
  // "Login incorrect" has arrived, or the text ends in a new login prompt.
  [[nodiscard]] bool LoginFailed() const;

 private:
  enum class Escape { kNone, kEsc, kCsi, kOsc, kOscEsc };

  void AppendVisible(unsigned char byte);
  [[nodiscard]] std::string TrimmedTail() const;

  static constexpr std::size_t kTailLength = 64;

  Escape m_escape = Escape::kNone;
  std::string m_tail;  // the last visible bytes
  bool m_hasText = false;
  bool m_saidIncorrect = false;
  PromptMatcher m_incorrect{"Login incorrect"};
};

}  // namespace dovrel
