// Prompt matching and the shell-prompt check on any text: the matcher finds
// the first occurrence that a plain search finds, and the check never misses
// a "Login incorrect" that stands in the text as it is.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "session/host_text/prompt_matcher.h"
#include "session/host_text/shell_readiness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  // The first byte tells how much of the rest is the prompt (1 to 16 bytes).
  const std::size_t promptLength = std::min<std::size_t>(1 + bytes[0] % 16, size - 1);
  if (promptLength == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(bytes + 1), size - 1);
  const std::string_view prompt = input.substr(0, promptLength);
  const std::string_view text = input.substr(promptLength);

  dovrel::PromptMatcher matcher(prompt);
  std::size_t firstEnd = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (matcher.Feed(static_cast<unsigned char>(text[i]))) {
      firstEnd = i + 1;
      break;
    }
  }
  const std::size_t found = text.find(prompt);
  FUZZ_CHECK(firstEnd == (found == std::string_view::npos ? found : found + prompt.size()));

  dovrel::ShellReadiness shell;
  for (const char c : text) shell.Feed(static_cast<unsigned char>(c));
  if (text.find('\x1b') == std::string_view::npos && text.find("Login incorrect") != std::string_view::npos) {
    FUZZ_CHECK(shell.LoginFailed());
  }
  if (shell.EndsInShellPrompt()) FUZZ_CHECK(shell.HasText());
  return 0;
}
