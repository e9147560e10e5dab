#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace dovrel {

class HostWords;

// What the host said, carried as it came from the reader that kept it, to
// the end's words: text for a person only through QuoteHostText (a box or a
// line) or EscapeHostText (the verbose report), whose only way in it is.
std::string QuoteHostText(const HostWords& words, std::string_view lineSeparator = " / ");
std::string EscapeHostText(const HostWords& words);

class HostWords {
 public:
  HostWords() = default;
  explicit HostWords(std::string said) : m_said(std::move(said)) {}

  [[nodiscard]] bool Empty() const { return m_said.empty(); }
  bool operator==(const HostWords&) const = default;

 private:
  friend std::string QuoteHostText(const HostWords& words, std::string_view lineSeparator);
  friend std::string EscapeHostText(const HostWords& words);

  std::string m_said;
};

}  // namespace dovrel
