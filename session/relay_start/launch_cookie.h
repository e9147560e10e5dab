#pragma once

#include <optional>

#include "common/base/relay_protocol.h"
#include "common/secret/secret_bytes.h"

namespace dovrel {

// The MIT-MAGIC-COOKIE-1 of one launch: 16 random bytes that only the
// launched terminal's account on the host holds. Wiped when it goes.
class LaunchCookie {
 public:
  // 16 bytes from the kernel's random source; nothing when it has none.
  static std::optional<LaunchCookie> Make();

  explicit LaunchCookie(const CookieBytes& bytes) : m_bytes(bytes) {}

  [[nodiscard]] const CookieBytes& Bytes() const { return m_bytes.Get(); }
  // The hex form, built in a string that is wiped when it goes.
  [[nodiscard]] SecretString Hex() const;

 private:
  WipedArray<std::uint8_t, kLaunchCookieSize> m_bytes;
};

}  // namespace dovrel
