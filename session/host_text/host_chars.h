#pragma once

#include <cwchar>
#include <optional>
#include <string_view>

namespace dovrel {

// The host's text character by character, decoded in this program's locale
// (LC_CTYPE), so that what is a control is told by character, not by byte:
// a byte filter would cut Japanese apart, and in an EUC-JP or Latin-1 locale
// a lone 0x9B is itself a terminal's control sequence introducer. In the
// C locale, whose encoding has no bytes above 0x7F, UTF-8 is read, as Qt
// and today's terminals do.
class HostChars {
 public:
  struct Char {
    std::string_view bytes;  // one character, or one byte that is none
    bool control = false;    // not to be shown as it is (see IsControl)
  };

  explicit HostChars(std::string_view text);

  // The next character; nothing at the end.
  std::optional<Char> Next();

  // C0 and C1 controls, DEL, the bidirectional marks, embeddings, overrides
  // and isolates, and the line and paragraph separators: each can move the
  // cursor or reorder what a reader sees.
  static bool IsControl(char32_t c);

 private:
  std::string_view m_text;
  bool m_utf8;
  std::mbstate_t m_state{};
};

}  // namespace dovrel
