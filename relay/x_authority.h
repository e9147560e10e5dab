#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dovrel {

// This user's MIT-MAGIC-COOKIE-1 for display :N of this machine.
struct XCookie {
  std::string name;                // "MIT-MAGIC-COOKIE-1"
  std::vector<std::uint8_t> data;  // the cookie's bytes
};

// The cookie from the authority file ($XAUTHORITY, or ~/.Xauthority), read
// with libXau as every X client reads it; nothing when the user has none.
std::optional<XCookie> FindLocalCookie(int display);

}  // namespace dovrel
