#pragma once

#include <string>
#include <string_view>

#include "session/host_text/host_says.h"
#include "session/host_text/host_words.h"
#include "session/host_text/prompt_matcher.h"
#include "session/host_text/shell_readiness.h"
#include "session/host_text/terminal_text.h"
#include "session/host_text/visible_line.h"

namespace dovrel {

// Reads the host's data bytes after the command line, line by line, and
// recognises the lines that tell why the terminal did not start.
class LaunchWords {
 public:
  // `program`: the terminal program the command starts ("xterm" or "kterm").
  explicit LaunchWords(std::string program);

  // Consumes one data byte. True once a verdict has been reached; later bytes
  // change nothing.
  bool Feed(unsigned char byte);

  // The host has paused: the line as it stands may be a prompt waiting for
  // input. True once a verdict has been reached.
  bool Paused();

  [[nodiscard]] HostSays Verdict() const { return m_verdict; }
  // The host's line that decided.
  [[nodiscard]] const HostWords& Said() const { return m_said; }

 private:
  // `line` ended with a line feed when `complete`; otherwise it is the
  // line as it stands.
  void Judge(const std::string& line, bool complete);

  std::string m_program;
  VisibleLine m_line;
  HostSays m_verdict = HostSays::kNothing;
  HostWords m_said;
};

// Tells, from the host's text after the command line, that the shell never
// read it: the text ends in a fresh prompt and nowhere shows the line's echo
// (the terminal driver or the shell echoes whatever is read; input thrown
// away before that leaves no trace).
class UnreadCommand {
 public:
  // `mark`: a piece of the command line that its echo shows.
  explicit UnreadCommand(std::string_view mark) : m_echo(mark) {}

  void Feed(unsigned char byte);
  [[nodiscard]] bool PromptWithoutEcho() const { return !m_echoed && m_shell.EndsInShellPrompt(); }

 private:
  TerminalText m_terminal;
  PromptMatcher m_echo;
  bool m_echoed = false;
  ShellReadiness m_shell;
};

}  // namespace dovrel
