#pragma once

#include <string>
#include <string_view>

#include "session/host_text/host_words.h"
#include "session/host_text/prompt_matcher.h"
#include "session/host_text/visible_line.h"

namespace dovrel {

// The lines that install a launch's cookie on the host with its own xauth.
// xauth reads its commands from the terminal, so the cookie is neither on a
// command line (the process list) nor read by the shell (its history).
// Verbose, xauth prompts "xauth> " when it reads: only then is the cookie
// typed, so a shell that reads ahead never gets it.
inline constexpr std::string_view kXauthCommandLine = "xauth -v -";
inline constexpr std::string_view kXauthEnd = "exit";  // xauth's own command: write the file and end
// Appends xauth's "add" command for the cookie to `line`, in place: no
// temporary copy of the cookie's hex is left behind.
void AppendXauthAddLine(std::string_view address, int display, std::string_view cookieHex, std::string& line);

// Reads the host's text after the xauth command line and tells whether
// xauth is reading its commands, or the shell found no xauth.
class XauthWords {
 public:
  enum class State { kWaiting, kReading, kMissing };

  State Feed(unsigned char byte);
  // With kMissing: the shell's line.
  [[nodiscard]] const HostWords& Said() const { return m_said; }

 private:
  VisibleLine m_line;
  PromptMatcher m_prompt{"xauth> "};
  HostWords m_said;
  State m_state = State::kWaiting;
};

}  // namespace dovrel
