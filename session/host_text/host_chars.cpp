#include "session/host_text/host_chars.h"

#include <langinfo.h>

#include <cstring>

namespace dovrel {

namespace {

// The length of the UTF-8 character at the start of `text`, and the
// character; 0 when it is none (a stray, overlong or cut sequence, a
// surrogate or a value beyond U+10FFFF).
std::size_t DecodeUtf8(std::string_view text, char32_t& c) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

bool LocaleReadsUtf8() {
  // The locale is set once at start-up, before any worker runs.
  const char* codeset = ::nl_langinfo(CODESET);  // NOLINT(concurrency-mt-unsafe)
  return std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "ANSI_X3.4-1968") == 0;
}

}  // namespace

HostChars::HostChars(std::string_view text) : m_text(text), m_utf8(LocaleReadsUtf8()) {}

bool HostChars::IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::optional<HostChars::Char> HostChars::Next() {
  if (m_text.empty()) return std::nullopt;
  char32_t c = 0;
  std::size_t length = 0;
  if (m_utf8) {
    length = DecodeUtf8(m_text, c);
  } else {
    wchar_t wide = 0;
    // With a state of its own, as here, mbrtowc shares nothing between threads.
    const std::size_t got =
        std::mbrtowc(&wide, m_text.data(), m_text.size(), &m_state);  // NOLINT(concurrency-mt-unsafe)
    if (got == static_cast<std::size_t>(-1) || got == static_cast<std::size_t>(-2)) {
      m_state = {};
    } else {
      length = got == 0 ? 1 : got;  // a NUL is one byte
      c = static_cast<char32_t>(wide);  // glibc's wide characters are Unicode in every locale
    }
  }
  // A byte that starts no character stands alone, and is not shown.
  const bool character = length != 0;
  if (!character) length = 1;
  const Char next{m_text.substr(0, length), !character || IsControl(c)};
  m_text.remove_prefix(length);
  return next;
}

}  // namespace dovrel
