#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/secret/secret_bytes.h"

namespace dovrel {

// This user's MIT-MAGIC-COOKIE-1 for display :N of this machine.
struct XCookie {
  std::string name;  // "MIT-MAGIC-COOKIE-1"
  SecretBytes data;  // the cookie's bytes, wiped when it goes

  [[nodiscard]] XCookie Copy() const { return {name, SecretBytes::CopyOf(data.Bytes())}; }
};

// The cookie from the authority file ($XAUTHORITY, or ~/.Xauthority), read
// with libXau as every X client reads it; nothing when the user has none.
std::optional<XCookie> FindLocalCookie(int display);

}  // namespace dovrel
