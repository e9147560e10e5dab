#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <list>
#include <optional>
#include <span>
#include <string_view>

#include "common/base/limits.h"
#include "common/base/relay_protocol.h"
#include "common/secret/secret_bytes.h"

namespace dovrel {

// A launch's cookie as the relay holds it: wiped when it goes.
using SecretCookie = WipedArray<std::uint8_t, kLaunchCookieSize>;

// Who the relay lets through, and for how long: for each launch it serves,
// the host's address and that launch's cookie (none: the launch admits the
// host's address alone). A connection gets through when it comes from a
// host of a launch that admits now and, for a launch with a cookie, its
// setup request carries that cookie.
//
// One rule for every launch, the relay's own and each joined one:
//   - while the launch runs, or a connection it admitted lives, it admits;
//   - a launch that ended before anything was admitted admits for the late
//     grace period after its end: a slow terminal still comes up;
//   - after its last admitted connection closes, it admits for the reopen
//     window only;
//   - the relay keeps its port, refusing, until the late grace period after
//     the last launch's end or last admitted close is over, so that no
//     other account can take the port for a terminal that comes late.
// Connections that never finish their setup count for nothing.
class Admission {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Admission(const RelayLimits& limits) : m_limits(limits) {}
  Admission(const Admission&) = delete;
  Admission& operator=(const Admission&) = delete;

  void Let(int launch, in_addr_t host, const std::optional<SecretCookie>& cookie);
  // The launch has ended (its dovrel is done).
  void Ended(int launch, Clock::time_point now);
  // A connection that `launch` admitted has opened or closed.
  void Opened(int launch);
  void Closed(int launch, Clock::time_point now);

  // Whether `host` is the host of a launch that admits now: anyone else is
  // closed at once.
  [[nodiscard]] bool Knows(in_addr_t host, Clock::time_point now) const;
  // The launch that lets a setup request from `host` with this authorisation
  // through now; nothing when none does.
  [[nodiscard]] std::optional<int> Admits(in_addr_t host, std::string_view authName,
                                          std::span<const std::uint8_t> authData, Clock::time_point now) const;
  // Whether any launch admits anyone now.
  [[nodiscard]] bool Open(Clock::time_point now) const;
  // Whether the relay's life is over: nothing admits, nothing admitted
  // lives, and the late grace period after the last end is over.
  [[nodiscard]] bool Over(Clock::time_point now) const;
  // The next moment at which Open() or Over() changes without an event.
  [[nodiscard]] std::optional<Clock::time_point> NextChange(Clock::time_point now) const;
  // Whether some launch admits by address alone (--trust-host), and whether
  // the relay's own launch admits by its cookie.
  [[nodiscard]] bool ByAddress() const;
  [[nodiscard]] bool OwnLaunchHasCookie() const;

 private:
  struct Entry {
    int launch = 0;
    in_addr_t host = 0;
    std::optional<SecretCookie> cookie;
    bool running = true;
    int live = 0;  // connections it admitted that are open
    bool everAdmitted = false;
    Clock::time_point endedAt{};
    Clock::time_point lastClosedAt{};
  };
  [[nodiscard]] bool AdmitsNow(const Entry& entry, Clock::time_point now) const;
  // Until when the entry keeps the port, once nothing of it runs or lives.
  [[nodiscard]] Clock::time_point KeepsPortUntil(const Entry& entry) const;
  Entry* Find(int launch);

  RelayLimits m_limits;
  // A list: entries never move, so no stale copy of a cookie is left behind.
  std::list<Entry> m_entries;
};

}  // namespace dovrel
