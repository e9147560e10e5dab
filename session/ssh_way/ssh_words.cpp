#include "session/ssh_way/ssh_words.h"

#include <charconv>
#include <utility>

#include "session/host_text/host_text.h"

namespace dovrel {

namespace {

constexpr std::string_view kDebug = "debug1: ";
constexpr std::size_t kLineLimit = 1024;
// sshd's own words in a session whose password must be changed first (it
// then refuses every forwarding and runs no command).
constexpr std::string_view kPasswordChangeLine = "Password change required but no TTY available.";

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }
bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Splits `bytes` into lines (only a line feed ends one: a carriage return
// inside a line starts nothing), each at most kLineLimit bytes.
template <typename Read>
void Lines(std::string& pending, std::string_view bytes, Read&& read) {
  for (const char c : bytes) {
    if (c == '\n') {
      std::string line = std::exchange(pending, {});
      if (!line.empty() && line.back() == '\r') line.pop_back();
      read(line);
    } else if (pending.size() < kLineLimit) {
      pending += c;
    }
  }
}

}  // namespace

SshWords::SshWords(std::string program) : m_remote(std::move(program)) {}

void SshWords::FeedLog(std::string_view bytes) {
  Lines(m_logPending, bytes, [this](const std::string& line) { ReadLog(line); });
}

void SshWords::FeedOutput(std::string_view bytes) {
  Lines(m_outputPending, bytes, [this](const std::string& line) { ReadOutput(line); });
}

void SshWords::Decide(LaunchCause cause, std::string_view line) {
  if (m_verdict != LaunchCause::kUndecided) return;
  m_verdict = cause;
  m_said = HostWords(std::string(line));
}

void SshWords::ReadLog(const std::string& line) {
  m_newLines.push_back("ssh: " + EscapeHostText(line));
  const std::string_view text(line);
  m_lastLog = line;
  if (StartsWith(text, kDebug)) {
    const std::string_view said = text.substr(kDebug.size());
    if (StartsWith(said, "Connection established")) m_connected = true;
    if (StartsWith(said, "Server host key: ")) m_hostKeyShown = true;
    if (StartsWith(said, "SSH2_MSG_SERVICE_ACCEPT received") || StartsWith(said, "Authentications that can continue")) {
      m_loggingIn = true;
    }
    if (StartsWith(said, "Sending command:")) m_commandSent = true;
    if (StartsWith(said, "Remote: No xauth program")) m_noRemoteXauth = true;
    if (StartsWith(said, "Exit status ")) {
      int status = 0;
      const std::string_view number = said.substr(12);
      if (std::from_chars(number.data(), number.data() + number.size(), status).ec == std::errc()) {
        m_exitStatus = status;
      }
    }
    return;
  }
  m_lastSaid = HostWords(line);
  if (StartsWith(text, "Authenticated to ")) {
    m_authenticated = m_loggingIn = true;
  } else if (StartsWith(text, "X11 forwarding request failed")) {
    m_x11Refused = true;
    m_x11Line = line;
  } else if (Contains(text, "couldn't query Security extension") ||
             StartsWith(text, "Warning: untrusted X11 forwarding setup failed")) {
    Decide(LaunchCause::kNoSecurity, line);
  } else if (m_hostKeyShown && !m_loggingIn) {
    // ssh's warning about a changed key, written while it checks the key
    // and reads nothing from the host.
    if (Contains(text, "REMOTE HOST IDENTIFICATION HAS CHANGED") || Contains(text, "POSSIBLE DNS SPOOFING")) {
      m_keyChanged = true;
    } else if (m_keyChanged && StartsWith(text, "Offending ") && !m_offending) {
      m_offending = HostWords(line);
    }
  }
}

void SshWords::ReadOutput(const std::string& line) {
  m_newLines.push_back("host: " + EscapeHostText(line));
  // Before the login it is the banner, which decides nothing.
  if (!m_authenticated || m_verdict != LaunchCause::kUndecided) return;
  if (line == kPasswordChangeLine) m_passwordChangeSaid = true;
  bool decided = false;
  for (const char c : line) decided = decided || m_remote.Feed(static_cast<unsigned char>(c));
  decided = decided || m_remote.Feed('\n');
  if (!decided) return;
  const LaunchCause said = CauseOf(m_remote.Verdict());
  // What the terminal program says of itself, and nothing else; a display
  // it could not open is explained by ssh's refused forwarding, if it was.
  if ((said == LaunchCause::kProgramMissing || said == LaunchCause::kDisplayRefused ||
       said == LaunchCause::kDisplayFailed) &&
      !m_x11Refused) {
    m_verdict = said;
    m_said = m_remote.Said();
  }
}

void SshWords::Finish(int status) {
  // An unfinished last line is read as if it had ended.
  if (!m_logPending.empty()) FeedLog("\n");
  if (!m_outputPending.empty()) FeedOutput("\n");
  if (m_verdict != LaunchCause::kUndecided) return;
  if (m_x11Refused) {
    if (m_passwordChangeSaid) return Decide(LaunchCause::kPasswordExpired, kPasswordChangeLine);
    return Decide(m_noRemoteXauth ? LaunchCause::kNoRemoteXauth : LaunchCause::kX11Refused, m_x11Line);
  }
  // ssh's own last words before it gave up: they end its log, where the
  // host's quoted words never stand last.
  if (status != 255) return;
  const std::string_view last(m_lastLog);
  if (last == "Host key verification failed." && !m_loggingIn) {
    m_verdict = m_keyChanged ? LaunchCause::kHostKeyChanged : LaunchCause::kHostKeyUnknown;
    m_said = m_keyChanged ? m_offending.value_or(HostWords()) : HostWords(m_lastLog);
  } else if (m_loggingIn && !m_authenticated && Contains(last, ": Permission denied (")) {
    Decide(LaunchCause::kLoginIncorrect, last);
  }
}

}  // namespace dovrel
