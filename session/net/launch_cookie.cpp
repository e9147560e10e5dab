#include "session/net/launch_cookie.h"

#include <sys/prctl.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace dovrel {

std::optional<LaunchCookie> LaunchCookie::Make() {
  CookieBytes bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    filled += static_cast<std::size_t>(got);
  }
  LaunchCookie cookie(bytes);
  WipeBytes(bytes);
  return cookie;
}

LaunchCookie::~LaunchCookie() { WipeBytes(m_bytes); }

bool SameBytesConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.size() != b.size()) return false;
  unsigned difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned>(a[i] ^ b[i]);
  return difference == 0;
}

bool ProtectSecretsFromInspection() noexcept { return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0; }

void WipeBytes(std::span<std::uint8_t> bytes) {
  if (!bytes.empty()) ::explicit_bzero(bytes.data(), bytes.size());
}

}  // namespace dovrel
