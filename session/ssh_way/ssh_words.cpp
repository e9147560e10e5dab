#include "session/ssh_way/ssh_words.h"

#include <charconv>
#include <utility>

namespace dovrel {

namespace {

constexpr std::string_view kDebug = "debug1: ";
constexpr std::size_t kLineLimit = 1024;

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }
bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Printable bytes only, as a report shows them.
std::string Clean(std::string_view line) {
  std::string clean;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean += c;
  }
  return clean;
}

}  // namespace

SshWords::SshWords(std::string program) : m_remote(std::move(program)) {}

void SshWords::Feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (c == '\n') {
      Read(std::exchange(m_pending, {}));
    } else if (m_pending.size() < kLineLimit) {
      m_pending += c;
    }
  }
}

void SshWords::Finish() {
  if (!m_pending.empty()) Read(std::exchange(m_pending, {}));
  m_remote.Paused();
  if (m_verdict == LaunchCause::kUndecided && m_remote.Verdict() != LaunchCause::kUndecided) {
    Decide(m_remote.Verdict(), m_remote.Line());
  }
}

void SshWords::Decide(LaunchCause cause, std::string line) {
  if (m_verdict != LaunchCause::kUndecided) return;
  m_verdict = cause;
  m_line = std::move(line);
}

void SshWords::Read(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  line = Clean(line);
  m_newLines.push_back(line);
  const std::string_view text(line);
  if (StartsWith(text, kDebug)) {
    const std::string_view said = text.substr(kDebug.size());
    if (StartsWith(said, "Connection established")) m_connected = true;
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
  // ssh's own words, or once the command is out, possibly the host's.
  if (StartsWith(text, "Authenticated to ")) {
    m_authenticated = true;
    return;
  }
  if (Contains(text, "X11 forwarding request failed")) {
    Decide(m_noRemoteXauth ? LaunchCause::kNoRemoteXauth : LaunchCause::kX11Refused, line);
    return;
  }
  if (Contains(text, "Password change required") || Contains(text, "password has expired") ||
      Contains(text, "required to change your password")) {
    Decide(LaunchCause::kPasswordExpired, line);
    return;
  }
  if (m_commandSent) {
    bool decided = false;
    for (const char c : line) decided = decided || m_remote.Feed(static_cast<unsigned char>(c));
    decided = decided || m_remote.Feed('\n');
    if (decided) Decide(m_remote.Verdict(), m_remote.Line());
    return;
  }
  m_lastSaid = line;
  if (Contains(text, "REMOTE HOST IDENTIFICATION HAS CHANGED") || Contains(text, "HOST KEY HAS CHANGED") ||
      Contains(text, "POSSIBLE DNS SPOOFING")) {
    m_keyChanged = true;
  } else if (StartsWith(text, "Offending ") && m_offending.empty()) {
    m_offending = line;
  } else if (StartsWith(text, "Host key verification failed")) {
    Decide(m_keyChanged ? LaunchCause::kHostKeyChanged : LaunchCause::kHostKeyUnknown,
           m_keyChanged ? m_offending : line);
  } else if (Contains(text, "Permission denied (")) {
    Decide(LaunchCause::kLoginIncorrect, line);
  } else if (Contains(text, "couldn't query Security extension") ||
             Contains(text, "untrusted X11 forwarding setup failed")) {
    Decide(LaunchCause::kNoSecurity, line);
  } else if (StartsWith(text, "ssh: ") || StartsWith(text, "kex_exchange_identification:") ||
             StartsWith(text, "Connection closed by") || StartsWith(text, "Connection reset by") ||
             StartsWith(text, "Connection timed out")) {
    if (!m_authenticated) Decide(LaunchCause::kCannotConnect, line);
  }
}

}  // namespace dovrel
