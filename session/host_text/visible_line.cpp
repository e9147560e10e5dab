#include "session/host_text/visible_line.h"

#include <utility>

namespace dovrel {

VisibleLine::Byte VisibleLine::Feed(unsigned char byte) {
  if (m_terminal.Feed(byte) != TerminalText::Kind::kVisible) return Byte::kHidden;
  if (byte == '\n') {
    m_finished = std::exchange(m_current, {});
    return Byte::kLineEnd;
  }
  if ((byte >= 0x20 || byte == '\t') && m_current.size() < kLimit) m_current.push_back(static_cast<char>(byte));
  return Byte::kText;
}

}  // namespace dovrel
