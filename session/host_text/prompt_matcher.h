#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dovrel {

// Finds a prompt in a stream of data bytes, wherever it starts.
//
// Knuth-Morris-Pratt: a byte that breaks a partial match is tried again
// against the longest prefix it can still continue, so "llogin:" contains
// "login:". Bytes are compared exactly: case matters.
class PromptMatcher {
 public:
  explicit PromptMatcher(std::string_view prompt);

  // Consumes one byte; true when it completes the prompt.
  bool Feed(unsigned char byte);

 private:
  std::string m_prompt;
  std::vector<std::size_t> m_fallback;  // longest proper prefix that is also a suffix
  std::size_t m_matched = 0;
};

}  // namespace dovrel
