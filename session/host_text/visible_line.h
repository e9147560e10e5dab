#pragma once

#include <cstddef>
#include <string>

#include "session/host_text/terminal_text.h"

namespace dovrel {

// The host's current line as a terminal shows it: control sequences left
// out, and of the text its printable bytes and tabs, at most kLimit of them
// (the line's head, where its words are). What the words after the command
// line and after xauth's are read from.
class VisibleLine {
 public:
  static constexpr std::size_t kLimit = 1024;

  enum class Byte {
    kHidden,   // part of a control sequence
    kText,     // shown on the line (kept, when printable and within the limit)
    kLineEnd,  // a line feed: Finished() is the line it ended
  };

  Byte Feed(unsigned char byte);

  // The visible text of the line so far.
  [[nodiscard]] const std::string& Current() const { return m_current; }
  // The latest line that a line feed ended.
  [[nodiscard]] const std::string& Finished() const { return m_finished; }

 private:
  TerminalText m_terminal;
  std::string m_current;
  std::string m_finished;
};

}  // namespace dovrel
