#include "session/host_text/terminal_text.h"

namespace dovrel {

namespace {

constexpr unsigned char kEsc = 0x1b;
constexpr unsigned char kBel = 0x07;

// CSI finals that move the cursor (CUU, CUF, CUB, CHA, CUP, HVP) or save and
// restore it: a shell draws a right-hand prompt with them and comes back.
bool MovesCursor(unsigned char final) {
  switch (final) {
    case 'A': case 'C': case 'D': case 'G': case 'H': case 'f': case 's': case 'u':
      return true;
    default:
      return false;
  }
}

}  // namespace

TerminalText::Kind TerminalText::Feed(unsigned char byte) {
  switch (m_escape) {
    case Escape::kNone:
      if (byte != kEsc) return Kind::kVisible;
      m_escape = Escape::kEsc;
      return Kind::kControl;
    case Escape::kEsc:
      if (byte == '[') {
        m_escape = Escape::kCsi;
      } else if (byte == ']') {
        m_escape = Escape::kOsc;
      } else if (byte < 0x20 || byte > 0x2f) {
        m_escape = Escape::kNone;  // a final byte: a two-byte sequence such as ESC =
        if (byte == '7' || byte == '8') return Kind::kCursorMovement;  // save, restore
      }  // intermediate bytes (ESC ( B) keep the sequence open
      return Kind::kControl;
    case Escape::kCsi:
      if (byte < 0x40 || byte > 0x7e) return Kind::kControl;
      m_escape = Escape::kNone;
      return MovesCursor(byte) ? Kind::kCursorMovement : Kind::kControl;
    case Escape::kOsc:
      if (byte == kBel) m_escape = Escape::kNone;
      if (byte == kEsc) m_escape = Escape::kOscEsc;
      return Kind::kControl;
    case Escape::kOscEsc:  // ESC \ ends it; anything else continues the string
      m_escape = byte == '\\' ? Escape::kNone : Escape::kOsc;
      return Kind::kControl;
  }
  return Kind::kControl;
}

}  // namespace dovrel
