#pragma once

#include <cstdint>
#include <span>

namespace dovrel {

// Whether `a` and `b` hold the same bytes, in a time that depends on their
// lengths alone: a client learns nothing of a cookie from how long it took.
bool SameBytesConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// Keeps the process's memory, where a password or a cookie lives for a
// while, out of core dumps and away from other processes of the same user
// (ptrace).
bool ProtectSecretsFromInspection() noexcept;

}  // namespace dovrel
