#include "session/host_text/prompt_matcher.h"

namespace dovrel {

PromptMatcher::PromptMatcher(std::string_view prompt)
    : m_prompt(prompt), m_fallback(prompt.size(), 0) {
  std::size_t k = 0;
  for (std::size_t i = 1; i < m_prompt.size(); ++i) {
    while (k > 0 && m_prompt[i] != m_prompt[k]) k = m_fallback[k - 1];
    if (m_prompt[i] == m_prompt[k]) ++k;
    m_fallback[i] = k;
  }
}

bool PromptMatcher::Feed(unsigned char byte) {
  if (m_prompt.empty()) return true;
  const auto c = static_cast<char>(byte);
  while (m_matched > 0 && m_prompt[m_matched] != c) m_matched = m_fallback[m_matched - 1];
  if (m_prompt[m_matched] == c) ++m_matched;
  if (m_matched < m_prompt.size()) return false;
  m_matched = m_fallback[m_matched - 1];
  return true;
}

}  // namespace dovrel
