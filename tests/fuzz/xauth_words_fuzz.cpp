// The xauth exchange's reader on any text: it reads no further once it has
// decided, says "reading" only where xauth's prompt stands in the visible
// text, and masking never lets a piece of the cookie through.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "session/host_text/host_text.h"
#include "session/host_text/xauth_words.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  dovrel::XauthWords words;
  auto state = dovrel::XauthWords::State::kWaiting;
  for (const char c : text) {
    const auto before = state;
    state = words.Feed(static_cast<unsigned char>(c));
    if (before != dovrel::XauthWords::State::kWaiting) FUZZ_CHECK(state == before);
  }
  if (state == dovrel::XauthWords::State::kReading && text.find('\x1b') == std::string_view::npos) {
    FUZZ_CHECK(text.find("> ") != std::string_view::npos);
  }
  if (state == dovrel::XauthWords::State::kMissing) FUZZ_CHECK(!dovrel::QuoteHostText(words.Said()).empty());
  if (text.find('\x1b') == std::string_view::npos && text.find("xauth> ") != std::string_view::npos &&
      text.find('\n') == std::string_view::npos) {
    FUZZ_CHECK(state == dovrel::XauthWords::State::kReading);
  }

  const std::string secret = "0123456789abcdef0123456789abcdef";
  const std::string masked = dovrel::MaskSecret(text, secret);
  FUZZ_CHECK(masked.size() == text.size());
  for (std::size_t at = 0; at + 6 <= secret.size(); ++at) {
    FUZZ_CHECK(masked.find(secret.substr(at, 6)) == std::string::npos);
  }
  return 0;
}
