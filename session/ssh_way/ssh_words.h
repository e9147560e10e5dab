#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/base/outcome.h"
#include "session/host_text/launch_words.h"

namespace dovrel {

// Reads what the ssh client writes on its standard error, line by line: its
// own diagnostics (at LogLevel DEBUG1) and, once the command was sent, the
// remote command's error output. Tells how far ssh got and, when it says
// so, why no terminal will come.
class SshWords {
 public:
  // `program`: the terminal program the command starts.
  explicit SshWords(std::string program);

  // Takes bytes as they come; complete lines are read at once.
  void Feed(std::string_view bytes);
  // ssh has ended: the last line, if unfinished, is read too.
  void Finish();

  // ssh is connected to the host (the TCP connection is up).
  [[nodiscard]] bool Connected() const { return m_connected; }
  // ssh has logged in.
  [[nodiscard]] bool Authenticated() const { return m_authenticated; }
  // The host has been sent the command.
  [[nodiscard]] bool CommandSent() const { return m_commandSent; }
  // The remote command's exit status, once ssh has said it.
  [[nodiscard]] std::optional<int> ExitStatus() const { return m_exitStatus; }

  // kUndecided, or why no terminal comes.
  [[nodiscard]] LaunchCause Verdict() const { return m_verdict; }
  // The line that decided it (for kHostKeyChanged: the file and line ssh named).
  [[nodiscard]] const std::string& Line() const { return m_line; }
  // The last line ssh itself wrote that was not a diagnostic (for a failure
  // ssh explains in words of its own).
  [[nodiscard]] const std::string& LastSaid() const { return m_lastSaid; }

  // Calls `report` with each diagnostic line as it is read (for -v).
  template <typename Report>
  void ForEachNewLine(Report&& report) {
    for (const std::string& line : m_newLines) report(line);
    m_newLines.clear();
  }

 private:
  void Read(std::string line);
  void Decide(LaunchCause cause, std::string line);

  LaunchWords m_remote;
  std::string m_pending;
  bool m_connected = false;
  bool m_authenticated = false;
  bool m_commandSent = false;
  bool m_keyChanged = false;
  bool m_noRemoteXauth = false;
  std::optional<int> m_exitStatus;
  LaunchCause m_verdict = LaunchCause::kUndecided;
  std::string m_line;
  std::string m_lastSaid;
  std::string m_offending;
  std::vector<std::string> m_newLines;
};

}  // namespace dovrel
