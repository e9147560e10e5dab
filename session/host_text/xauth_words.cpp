#include "session/host_text/xauth_words.h"

#include "common/base/relay_protocol.h"
#include "session/host_text/host_text.h"

namespace dovrel {

void AppendXauthAddLine(std::string_view address, int display, std::string_view cookieHex, std::string& line) {
  line.append("add ").append(address).append(":").append(std::to_string(display)).push_back(' ');
  line.append(kMitCookieName).push_back(' ');
  line.append(cookieHex);
}

XauthWords::State XauthWords::Feed(unsigned char byte) {
  if (m_state != State::kWaiting) return m_state;
  const VisibleLine::Byte shown = m_line.Feed(byte);
  if (shown == VisibleLine::Byte::kHidden) return m_state;
  if (m_prompt.Feed(byte)) {
    m_state = State::kReading;
  } else if (shown == VisibleLine::Byte::kLineEnd && SaysProgramMissing(m_line.Finished(), "xauth")) {
    m_state = State::kMissing;
    m_said = HostWords(std::string(m_line.Finished()));
  }
  return m_state;
}

}  // namespace dovrel
