#include "session/relay_start/launch_cookie.h"

#include <sys/random.h>

#include <cerrno>

namespace dovrel {

std::optional<LaunchCookie> LaunchCookie::Make() {
  WipedArray<std::uint8_t, kLaunchCookieSize> bytes;
  std::size_t filled = 0;
  while (filled < bytes.Get().size()) {
    const ssize_t got = ::getrandom(bytes.Get().data() + filled, bytes.Get().size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    filled += static_cast<std::size_t>(got);
  }
  return LaunchCookie(bytes.Get());
}

SecretString LaunchCookie::Hex() const {
  SecretString hex(2 * kLaunchCookieSize);
  AppendHex(Bytes(), hex.Edit());
  return hex;
}

}  // namespace dovrel
