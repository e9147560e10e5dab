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
  if (m_terminal.Feed(byte) != TerminalText::Kind::kVisible) return m_state;
  if (m_prompt.Feed(byte)) {
    m_state = State::kReading;
  } else if (byte == '\n') {
    if (SaysProgramMissing(m_line, "xauth")) {
      m_state = State::kMissing;
      m_decidingLine = QuoteHostText(m_line);
    }
    m_line.clear();
  } else if ((byte >= 0x20 || byte == '\t') && m_line.size() < kHostLineLength) {
    m_line.push_back(static_cast<char>(byte));
  }
  return m_state;
}

}  // namespace dovrel
