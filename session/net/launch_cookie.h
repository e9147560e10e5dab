#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "session/base/relay_protocol.h"

namespace dovrel {

// The MIT-MAGIC-COOKIE-1 of one launch: 16 random bytes that only the
// launched terminal's account on the host holds. Wiped when it goes.
class LaunchCookie {
 public:
  // 16 bytes from the kernel's random source; nothing when it has none.
  static std::optional<LaunchCookie> Make();

  explicit LaunchCookie(const CookieBytes& bytes) : m_bytes(bytes) {}
  LaunchCookie(const LaunchCookie& other) = default;
  LaunchCookie& operator=(const LaunchCookie& other) = default;
  ~LaunchCookie();

  [[nodiscard]] const CookieBytes& Bytes() const { return m_bytes; }
  [[nodiscard]] std::string Hex() const { return HexOf(m_bytes); }

 private:
  CookieBytes m_bytes{};
};

// Whether `a` and `b` hold the same bytes, in a time that depends on their
// lengths alone: a client learns nothing of a cookie from how long it took.
bool SameBytesConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// Keeps the process's memory, where a password or a cookie lives for a
// while, out of core dumps and away from other processes of the same user
// (ptrace).
bool ProtectSecretsFromInspection() noexcept;

// Overwrites `bytes` in a way the compiler keeps.
void WipeBytes(std::span<std::uint8_t> bytes);

}  // namespace dovrel
