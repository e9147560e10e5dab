// The relay's reader of X11 setup requests on any bytes: it never reads past
// its bounds, gives the same verdict fed whole or in pieces, consumes no
// more than one request, and a request it rewrites reads back as complete
// with the new authorisation.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "relay/x11_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::span<const std::uint8_t> input(bytes, size);
  dovrel::X11SetupReader whole;
  std::size_t usedWhole = 0;
  const auto verdict = whole.Feed(input, usedWhole);
  FUZZ_CHECK(usedWhole <= size);
  FUZZ_CHECK(usedWhole <= dovrel::X11SetupReader::kHeaderSize + dovrel::X11SetupReader::kMaxNameLength +
                              dovrel::X11SetupReader::kMaxDataLength);

  // In pieces of 1 to 7 bytes, the size of each taken from the input itself.
  dovrel::X11SetupReader pieces;
  std::size_t at = 0;
  auto state = dovrel::X11SetupReader::State::kNeedMore;
  while (at < size && state == dovrel::X11SetupReader::State::kNeedMore) {
    const std::size_t length = std::min<std::size_t>(1 + bytes[at] % 7, size - at);
    std::size_t used = 0;
    state = pieces.Feed(input.subspan(at, length), used);
    FUZZ_CHECK(used <= length);
    at += used;
  }
  FUZZ_CHECK(state == verdict);
  if (verdict == dovrel::X11SetupReader::State::kComplete) {
    FUZZ_CHECK(at == usedWhole);
    const std::string name = "MIT-MAGIC-COOKIE-1";
    const std::vector<std::uint8_t> cookie(16, 0x5A);
    const auto secret =
        whole.WithAuthorisation({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}, cookie);
    const std::span<const std::uint8_t> rewritten = secret.Bytes();
    dovrel::X11SetupReader again;
    std::size_t used = 0;
    FUZZ_CHECK(again.Feed(rewritten, used) == dovrel::X11SetupReader::State::kComplete);
    FUZZ_CHECK(used == rewritten.size());
    FUZZ_CHECK(again.AuthName() == name);
    FUZZ_CHECK(again.BigEndian() == whole.BigEndian());
  }
  return 0;
}
