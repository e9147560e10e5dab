#pragma once

#include <string>
#include <string_view>

#include "session/watch/terminal_class.h"

namespace dovrel {

// The terminal program started on the host: its name, the class its window
// carries, and the command line that starts it.
struct TerminalProgram {
  std::string_view name;         // "xterm" or "kterm"
  std::string_view windowClass;  // "XTerm" or "KTerm"

  // Every command line asks for this geometry, and its echo shows it.
  static constexpr std::string_view kGeometry = "80x25+0+0";

  // The form's choice: xterm with the x switch, kterm otherwise.
  static constexpr TerminalProgram Chosen(bool xterm) {
    return xterm ? TerminalProgram{"xterm", kXtermClass} : TerminalProgram{"kterm", kKtermClass};
  }

  // The shell command line, without its line feed: the program in the
  // background, its display pointed at `address`:`display`.
  [[nodiscard]] std::string ShellCommand(std::string_view address, int display) const {
    std::string line(name);
    line += " -geometry ";
    line += kGeometry;
    line += " -display ";
    line += address;
    line += ':';
    line += std::to_string(display);
    line += " &";
    return line;
  }
};

}  // namespace dovrel
