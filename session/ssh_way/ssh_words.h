#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/launch/launch_cause.h"
#include "session/host_text/launch_words.h"

namespace dovrel {

// Reads what the ssh client says, from its two sources apart: its own log
// (LogLevel DEBUG1, written to a file of the launch's with -E) and its
// standard error, which carries only the host's words: the banner before
// the login, the remote command's error output after it. Each cause is
// decided from its own source: ssh's log decides what ssh decides (host
// keys, the login, X11 forwarding), the remote command's output only what
// the terminal program says of itself, and the banner nothing.
class SshWords {
 public:
  // `program`: the terminal program the command starts.
  explicit SshWords(std::string program);

  // ssh's own log, as it comes; complete lines are read at once.
  void FeedLog(std::string_view bytes);
  // ssh's standard error, as it comes.
  void FeedOutput(std::string_view bytes);
  // ssh has ended with `status` and both sources with it: what ssh said
  // last decides what it alone can (a host key, a refused login).
  void Finish(int status);

  // ssh is connected to the host (the TCP connection is up).
  [[nodiscard]] bool Connected() const { return m_connected; }
  // ssh has logged in.
  [[nodiscard]] bool Authenticated() const { return m_authenticated; }
  // The host has been sent the command.
  [[nodiscard]] bool CommandSent() const { return m_commandSent; }
  // The remote command's exit status, once ssh has said it.
  [[nodiscard]] std::optional<int> ExitStatus() const { return m_exitStatus; }
  // ssh has the host's key and has not begun to log in: a question of
  // ssh's own now is about that key. The destination cannot ask yet.
  [[nodiscard]] bool CheckingHostKey() const { return m_hostKeyShown && !m_loggingIn; }
  // The host refused X11 forwarding; the cause is settled at Finish, when
  // the session's own words (a password to change first) are in.
  [[nodiscard]] bool X11Refused() const { return m_x11Refused; }

  // kUndecided, or why no terminal comes.
  [[nodiscard]] LaunchCause Verdict() const { return m_verdict; }
  // What the cause's words quote: for kHostKeyChanged the file and line ssh
  // named, otherwise the deciding line.
  [[nodiscard]] const HostWords& Said() const { return m_said; }
  // The last line of ssh's own log that was no diagnostic (for a failure
  // ssh explains in words of its own).
  [[nodiscard]] const HostWords& LastSaid() const { return m_lastSaid; }

  // Calls `report` with each line read since, named by its source and
  // escaped (EscapeHostText), for -v.
  template <typename Report>
  void ForEachNewLine(Report&& report) {
    for (const std::string& line : m_newLines) report(line);
    m_newLines.clear();
  }

 private:
  void ReadLog(const std::string& line);
  void ReadOutput(const std::string& line);
  void Decide(LaunchCause cause, std::string_view line);

  LaunchWords m_remote;
  std::string m_logPending;
  std::string m_outputPending;
  bool m_connected = false;
  bool m_hostKeyShown = false;
  bool m_loggingIn = false;
  bool m_authenticated = false;
  bool m_commandSent = false;
  bool m_keyChanged = false;
  bool m_noRemoteXauth = false;
  bool m_x11Refused = false;
  bool m_passwordChangeSaid = false;
  std::optional<int> m_exitStatus;
  LaunchCause m_verdict = LaunchCause::kUndecided;
  HostWords m_said;
  std::string m_lastLog;
  HostWords m_lastSaid;
  std::optional<HostWords> m_offending;
  std::string m_x11Line;
  std::vector<std::string> m_newLines;
};

}  // namespace dovrel
