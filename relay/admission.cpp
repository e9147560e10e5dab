#include "relay/admission.h"

#include <algorithm>

#include "common/secret/secret_guard.h"

namespace dovrel {

Admission::~Admission() = default;

void Admission::Let(int launch, in_addr_t host, const std::optional<SecretCookie>& cookie) {
  m_entries.push_back({launch, host, cookie});
}

void Admission::Drop(int launch) {
  m_entries.remove_if([launch](const Entry& entry) { return entry.launch == launch; });
}

bool Admission::Knows(in_addr_t host) const {
  return std::any_of(m_entries.begin(), m_entries.end(), [host](const Entry& entry) { return entry.host == host; });
}

bool Admission::Admits(in_addr_t host, std::string_view authName, std::span<const std::uint8_t> authData) const {
  const bool mitCookie = authName == kMitCookieName;
  bool admitted = false;
  // Every entry is compared, so the time taken does not tell which matched.
  for (const Entry& entry : m_entries) {
    if (entry.host != host) continue;
    // A launch without a cookie admits its host's address alone.
    const bool cookieMatches = entry.cookie && mitCookie && SameBytesConstantTime(entry.cookie->Get(), authData);
    admitted = admitted || !entry.cookie || cookieMatches;
  }
  return admitted;
}

}  // namespace dovrel
