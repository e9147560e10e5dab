#pragma once

#include <optional>

namespace dovrel {

// Separates the text a terminal shows from the control sequences around it.
//
// Shells draw prompts with colours, window titles and cursor movements:
// ESC [ ... final (CSI), ESC ] ... BEL or ESC \ (OSC), and two-byte escapes
// such as ESC =. What they print in between is the visible text.
class TerminalText {
 public:
  // What one byte turned out to be.
  enum class Kind {
    kVisible,         // a byte of text (NUL, CR and LF included)
    kControl,         // part of a control sequence that does not move the cursor
    kCursorMovement,  // the end of a sequence that moves the cursor sideways or up
  };

  Kind Feed(unsigned char byte);

 private:
  enum class Escape { kNone, kEsc, kCsi, kOsc, kOscEsc };
  Escape m_escape = Escape::kNone;
};

}  // namespace dovrel
