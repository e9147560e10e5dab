// Who the relay admits, and until when, read at chosen moments: the rule's
// windows as a table on `now`, with no clock that runs.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "relay/admission.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using Time = Admission::Clock::time_point;

constexpr in_addr_t kHost = 0x0a000002;
constexpr in_addr_t kOtherHost = 0x0a000003;
const Time kStart{1000s};  // when the launch was let in

SecretCookie Cookie(std::uint8_t fill) {
  CookieBytes bytes{};
  bytes.fill(fill);
  return SecretCookie(bytes);
}

struct Row {
  const char* name;
  bool cookie;                                  // false: --trust-host, the host's address alone
  std::function<void(Admission&)> history;      // what happened after kStart
  std::chrono::milliseconds at;                 // when it is read, after kStart
  bool admitsTheCookie, admitsAnotherCookie, open, over;
};

TEST(Admission, EachLaunchAdmitsWithinItsWindowsAndKeepsThePortTheGraceAfter) {
  // The limits of the table: a late grace of 120 s and a reopen window of 5 s.
  const RelayLimits limits;
  const auto ended = [](std::chrono::seconds at) { return [at](Admission& a) { a.Ended(1, kStart + at); }; };
  const auto openedClosed = [](std::chrono::seconds endAt, std::chrono::seconds closeAt) {
    return [=](Admission& a) {
      a.Opened(1);
      a.Ended(1, kStart + endAt);
      a.Closed(1, kStart + closeAt);
    };
  };
  const std::vector<Row> rows = {
      {"while the launch runs", true, [](Admission&) {}, 600s, true, false, true, false},
      {"ended, nothing admitted, within the grace", true, ended(10s), 10s + 119s, true, false, true, false},
      {"ended, nothing admitted, after the grace", true, ended(10s), 10s + 121s, false, false, false, true},
      {"an admitted connection lives on after the end", true,
       [](Admission& a) {
         a.Opened(1);
         a.Ended(1, kStart + 10s);
       },
       900s, true, false, true, false},
      {"closed, within the reopen window", true, openedClosed(10s, 60s), 64s, true, false, true, false},
      {"closed, after the reopen window: refusing, the port kept", true, openedClosed(10s, 60s), 66s, false, false,
       false, false},
      {"closed, the grace after the close over", true, openedClosed(10s, 60s), 181s, false, false, false, true},
      {"by address alone while it runs", false, [](Admission&) {}, 600s, true, true, true, false},
      {"by address alone after its grace", false, ended(0s), 121s, false, false, false, true},
  };
  for (const Row& row : rows) {
    Admission admission(limits);
    admission.Let(1, kHost, row.cookie ? std::optional(Cookie(0x5a)) : std::nullopt);
    row.history(admission);
    const Time now = kStart + row.at;
    const SecretCookie other = Cookie(0x33);
    EXPECT_EQ(admission.Admits(kHost, kMitCookieName, Cookie(0x5a).Get(), now).has_value(), row.admitsTheCookie)
        << row.name;
    EXPECT_EQ(admission.Admits(kHost, kMitCookieName, other.Get(), now).has_value(), row.admitsAnotherCookie)
        << row.name;
    EXPECT_EQ(admission.Knows(kHost, now), row.open) << row.name;
    EXPECT_FALSE(admission.Knows(kOtherHost, now)) << row.name;
    EXPECT_FALSE(admission.Admits(kOtherHost, kMitCookieName, Cookie(0x5a).Get(), now)) << row.name;
    EXPECT_EQ(admission.Open(now), row.open) << row.name;
    EXPECT_EQ(admission.Over(now), row.over) << row.name;
  }
}

TEST(Admission, TheNextChangeIsTheEarliestWindowsEnd) {
  Admission admission{RelayLimits{}};
  admission.Let(1, kHost, Cookie(1));
  admission.Let(2, kOtherHost, Cookie(2));
  EXPECT_FALSE(admission.NextChange(kStart)) << "nothing changes while both run";
  admission.Opened(2);
  admission.Ended(2, kStart + 5s);
  admission.Closed(2, kStart + 20s);
  admission.Ended(1, kStart + 30s);
  // Launch 2's reopen window ends first, then launch 1's grace, then the port's.
  EXPECT_EQ(admission.NextChange(kStart + 20s), kStart + 25s);
  EXPECT_EQ(admission.NextChange(kStart + 25s), kStart + 140s);
  EXPECT_EQ(admission.NextChange(kStart + 140s), kStart + 150s);
  EXPECT_FALSE(admission.NextChange(kStart + 150s));
  EXPECT_TRUE(admission.Over(kStart + 150s));
}

}  // namespace
}  // namespace dovrel
