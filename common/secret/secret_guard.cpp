#include "common/secret/secret_guard.h"

#include <sys/prctl.h>

namespace dovrel {

bool SameBytesConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.size() != b.size()) return false;
  unsigned difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned>(a[i] ^ b[i]);
  return difference == 0;
}

bool ProtectSecretsFromInspection() noexcept { return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0; }

}  // namespace dovrel
