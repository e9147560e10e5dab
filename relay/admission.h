#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <list>

#include "common/base/relay_protocol.h"
#include "common/secret/secret_bytes.h"

namespace dovrel {

// A launch's cookie as the relay holds it: wiped when it goes.
using SecretCookie = WipedArray<std::uint8_t, kLaunchCookieSize>;

// Who the relay lets through: for each launch it serves, the host's address
// and that launch's cookie (none: the launch admits the host's address
// alone). A connection gets through when it comes from a host of a launch
// and, for a launch with a cookie, its setup request carries that cookie.
class Admission {
 public:
  Admission() = default;
  Admission(const Admission&) = delete;
  Admission& operator=(const Admission&) = delete;
  ~Admission();

  void Let(int launch, in_addr_t host, const std::optional<SecretCookie>& cookie);
  // The launch has ended: its host is let in no more, its cookie wiped.
  void Drop(int launch);

  // Whether `host` is the host of any launch: anyone else is closed at once.
  [[nodiscard]] bool Knows(in_addr_t host) const;
  // Whether a setup request from `host` with this authorisation gets through.
  [[nodiscard]] bool Admits(in_addr_t host, std::string_view authName, std::span<const std::uint8_t> authData) const;

 private:
  struct Entry {
    int launch = 0;
    in_addr_t host = 0;
    std::optional<SecretCookie> cookie;
  };

  // A list: entries never move, so no stale copy of a cookie is left behind.
  std::list<Entry> m_entries;
};

}  // namespace dovrel
