#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/secret/secret_bytes.h"

struct xauth;  // libXau's entry

namespace dovrel {

// This user's MIT-MAGIC-COOKIE-1 for display :N of this machine.
struct XCookie {
  std::string name;  // "MIT-MAGIC-COOKIE-1"
  SecretBytes data;  // the cookie's bytes, wiped when it goes

  [[nodiscard]] XCookie Copy() const { return {name, SecretBytes::CopyOf(data.Bytes())}; }
};

// Overwrites an authority entry's cookie bytes: libXau and the SECURITY
// extension free their entries without wiping them.
void WipeEntryData(::xauth& entry);

// The cookie from the authority file ($XAUTHORITY, or ~/.Xauthority), read
// with libXau as every X client reads it; nothing when the user has none.
std::optional<XCookie> FindLocalCookie(int display);

}  // namespace dovrel
