#include "shell_readiness.h"

#include <string_view>

namespace dovrel {

namespace {

constexpr unsigned char kEsc = 0x1b;
constexpr unsigned char kBel = 0x07;

bool IsBlank(unsigned char byte) { return byte == ' ' || byte == '\t'; }

}  // namespace

void ShellReadiness::Feed(unsigned char byte) {
  switch (m_escape) {
    case Escape::kNone:
      if (byte == kEsc) {
        m_escape = Escape::kEsc;
      } else {
        AppendVisible(byte);
      }
      return;
    case Escape::kEsc:
      if (byte == '[') {
        m_escape = Escape::kCsi;
      } else if (byte == ']') {
        m_escape = Escape::kOsc;
      } else if (byte < 0x20 || byte > 0x2f) {
        m_escape = Escape::kNone;  // a final byte: a two-byte sequence such as ESC =
      }  // intermediate bytes (ESC ( B) keep the sequence open
      return;
    case Escape::kCsi:
      if (byte >= 0x40 && byte <= 0x7e) m_escape = Escape::kNone;
      return;
    case Escape::kOsc:
      if (byte == kBel) m_escape = Escape::kNone;
      if (byte == kEsc) m_escape = Escape::kOscEsc;
      return;
    case Escape::kOscEsc:  // ESC \ ends it; anything else continues the text
      m_escape = byte == '\\' ? Escape::kNone : Escape::kOsc;
      return;
  }
}

void ShellReadiness::AppendVisible(unsigned char byte) {
  if (m_incorrect.Feed(byte)) m_saidIncorrect = true;
  if (byte == '\0' || byte == '\r') return;
  if (byte != '\n' && !IsBlank(byte)) m_hasText = true;
  if (m_tail.size() == kTailLength) m_tail.erase(0, 1);
  m_tail.push_back(static_cast<char>(byte));
}

std::string ShellReadiness::TrimmedTail() const {
  std::string_view tail = m_tail;
  while (!tail.empty() && IsBlank(static_cast<unsigned char>(tail.back()))) tail.remove_suffix(1);
  return std::string(tail);
}

bool ShellReadiness::EndsInShellPrompt() const {
  const std::string tail = TrimmedTail();
  if (tail.empty()) return false;
  const char last = tail.back();
  return last == '$' || last == '#' || last == '%' || last == '>';
}

bool ShellReadiness::LoginFailed() const {
  return m_saidIncorrect || TrimmedTail().ends_with("login:");
}

}  // namespace dovrel
