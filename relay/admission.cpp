#include "relay/admission.h"

#include <algorithm>

#include "common/secret/secret_guard.h"

namespace dovrel {

void Admission::Let(int launch, in_addr_t host, const std::optional<SecretCookie>& cookie) {
  m_entries.push_back({launch, host, cookie, true, 0, false, {}, {}});
}

Admission::Entry* Admission::Find(int launch) {
  const auto found = std::find_if(m_entries.begin(), m_entries.end(), [launch](const Entry& e) { return e.launch == launch; });
  return found == m_entries.end() ? nullptr : &*found;
}

void Admission::Ended(int launch, Clock::time_point now) {
  if (Entry* entry = Find(launch); entry && entry->running) {
    entry->running = false;
    entry->endedAt = now;
  }
}

void Admission::Opened(int launch) {
  if (Entry* entry = Find(launch)) {
    ++entry->live;
    entry->everAdmitted = true;
  }
}

void Admission::Closed(int launch, Clock::time_point now) {
  if (Entry* entry = Find(launch); entry && entry->live > 0) {
    --entry->live;
    entry->lastClosedAt = now;
  }
}

bool Admission::AdmitsNow(const Entry& entry, Clock::time_point now) const {
  if (entry.running || entry.live > 0) return true;
  if (!entry.everAdmitted) return now < entry.endedAt + m_limits.lateGrace;
  return now < entry.lastClosedAt + m_limits.reopenWindow;
}

Admission::Clock::time_point Admission::KeepsPortUntil(const Entry& entry) const {
  return std::max(entry.endedAt, entry.lastClosedAt) + m_limits.lateGrace;
}

bool Admission::Knows(in_addr_t host, Clock::time_point now) const {
  return std::any_of(m_entries.begin(), m_entries.end(),
                     [&](const Entry& entry) { return entry.host == host && AdmitsNow(entry, now); });
}

std::optional<int> Admission::Admits(in_addr_t host, std::string_view authName, std::span<const std::uint8_t> authData,
                                     Clock::time_point now) const {
  const bool mitCookie = authName == kMitCookieName;
  std::optional<int> admitting;
  // Every entry is compared, so the time taken does not tell which matched.
  for (const Entry& entry : m_entries) {
    if (entry.host != host) continue;
    // A launch without a cookie admits its host's address alone.
    const bool cookieMatches = entry.cookie && mitCookie && SameBytesConstantTime(entry.cookie->Get(), authData);
    if ((!entry.cookie || cookieMatches) && AdmitsNow(entry, now) && !admitting) admitting = entry.launch;
  }
  return admitting;
}

bool Admission::Open(Clock::time_point now) const {
  return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return AdmitsNow(entry, now); });
}

bool Admission::Over(Clock::time_point now) const {
  return std::none_of(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
    return entry.running || entry.live > 0 || now < KeepsPortUntil(entry);
  });
}

std::optional<Admission::Clock::time_point> Admission::NextChange(Clock::time_point now) const {
  std::optional<Clock::time_point> next;
  const auto consider = [&](Clock::time_point at) {
    if (at > now) next = next ? std::min(*next, at) : at;
  };
  for (const Entry& entry : m_entries) {
    if (entry.running || entry.live > 0) continue;
    consider(entry.everAdmitted ? entry.lastClosedAt + m_limits.reopenWindow : entry.endedAt + m_limits.lateGrace);
    consider(KeepsPortUntil(entry));
  }
  return next;
}

bool Admission::OwnLaunchHasCookie() const { return !m_entries.empty() && m_entries.front().cookie.has_value(); }

bool Admission::ByAddress() const {
  return std::any_of(m_entries.begin(), m_entries.end(), [](const Entry& entry) { return !entry.cookie; });
}

}  // namespace dovrel
