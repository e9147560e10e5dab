// How a terminal on the host reaches the display, decided from the facts
// alone: no socket, no display. Each row is one world, the options, what
// the rule asked to find (in order) and what it decided.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/telnet_way/display_rule.h"

namespace dovrel {
namespace {

using Reach = LocalDisplay::Reach;
using Way = DisplayDecision::Way;
constexpr std::uint32_t kSelf = 1000;

// What the executor would find, asked or not.
struct World {
  JoinAnswer join{};
  std::optional<std::uint32_t> listener{};
  bool answersAsX = true;
  Reach reach = Reach::kRefused;
  std::optional<std::uint32_t> lateListener{};
  bool localSocket = true;
  bool hostIsThisMachine = false;
};

struct Row {
  const char* what;
  LaunchOptions options;
  World world;
  const char* asked;  // the facts found, in order
  DisplayDecision decided;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.what; }

// Runs the rule as the executor does, finding each fact it asks for in `world`.
DisplayDecision Decide(const LaunchOptions& options, const World& world, std::string& asked) {
  DisplayFacts facts;
  facts.options = options;
  facts.self = kSelf;
  facts.hostIsThisMachine = world.hostIsThisMachine;
  for (int step = 0; step < 10; ++step) {
    DisplayDecision decision = DecideDisplay(facts);
    if (decision.way != Way::kFind) return decision;
    switch (decision.fact) {
      case DisplayFact::kJoin: asked += "join "; facts.join = world.join; break;
      case DisplayFact::kListener: asked += "listener "; facts.listener = world.listener; break;
      case DisplayFact::kAnswersAsX: asked += "answers "; facts.answersAsX = world.answersAsX; break;
      case DisplayFact::kReach: asked += "probe "; facts.reach = world.reach; break;
      case DisplayFact::kLateListener: asked += "late "; facts.lateListener = world.lateListener; break;
      case DisplayFact::kLocalSocket: asked += "socket "; facts.localSocket = world.localSocket; break;
    }
  }
  ADD_FAILURE() << "the rule kept asking";
  return {};
}

DisplayDecision Stop(LaunchCause cause, std::string detail = {}) {
  return {Way::kStop, {}, cause, std::move(detail), {}};
}
DisplayDecision Direct(std::optional<std::uint32_t> owner) { return {Way::kDirect, {}, {}, {}, owner}; }
DisplayDecision Way_(Way way) { return {way, {}, {}, {}, {}}; }

const LaunchOptions kCookie{};  // the default: a relay with this launch's cookie when needed
const LaunchOptions kNoRelay{false, false, false, false, false};
const LaunchOptions kTrustHost{false, true, true, false, false};

class DisplayRule : public ::testing::TestWithParam<Row> {};

TEST_P(DisplayRule, FindsOnlyWhatItNeedsAndDecides) {
  const Row& row = GetParam();
  std::string asked;
  const DisplayDecision decided = Decide(row.options, row.world, asked);
  if (!asked.empty()) asked.pop_back();
  EXPECT_EQ(asked, row.asked);
  EXPECT_EQ(decided, row.decided) << "way " << static_cast<int>(decided.way) << ", cause "
                                  << static_cast<int>(decided.cause) << ", detail " << decided.detail;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DisplayRule,
    ::testing::Values(
        Row{"this user's X server on TCP", kCookie, {.listener = kSelf, .reach = Reach::kListening},
            "join listener probe", Direct(kSelf)},
        Row{"root's X server on TCP answers as one first", kCookie, {.listener = 0, .reach = Reach::kListening},
            "join listener answers probe", Direct(0)},
        Row{"root's listener that is no X server", kCookie, {.listener = 0, .answersAsX = false},
            "join listener answers", Stop(LaunchCause::kListenerNotX)},
        Row{"another account's listener is never connected to", kCookie,
            {.listener = 65534, .reach = Reach::kListening}, "join listener",
            Stop(LaunchCause::kForeignListener, "65534")},
        Row{"a listener that came up after the table was read", kCookie,
            {.reach = Reach::kListening, .lateListener = 65534}, "join listener probe late",
            Stop(LaunchCause::kForeignListener, "65534")},
        Row{"a listener nobody can name", kCookie, {.reach = Reach::kListening}, "join listener probe late",
            Stop(LaunchCause::kListenerUnknown)},
        Row{"a port that does not answer in time, nobody's", kCookie, {.reach = Reach::kUnknown},
            "join listener probe late", Direct(std::nullopt)},
        Row{"no TCP and --no-relay: no join, no relay", kNoRelay, {}, "listener probe", Stop(LaunchCause::kNoTcp)},
        Row{"no TCP and no X server at all", kCookie, {.localSocket = false}, "join listener probe socket",
            Stop(LaunchCause::kNoXServer)},
        Row{"no TCP, an X server on its local socket: a relay", kCookie, {}, "join listener probe socket",
            Way_(Way::kRelay)},
        Row{"a relay of an earlier launch takes this launch's cookie", kCookie, {.join = {.joined = true}}, "join",
            Way_(Way::kJoined)},
        Row{"a cookie launch does not join a relay open by address", kCookie,
            {.join = {.joined = true, .byAddress = true}}, "join",
            Stop(LaunchCause::kJoinRefused, "it admits every connection from its hosts by address (--trust-host)")},
        Row{"--trust-host joins a relay open by address", kTrustHost,
            {.join = {.joined = true, .byAddress = true}}, "join", Way_(Way::kJoined)},
        Row{"a relay that closes on the join", kCookie, {.join = {.denied = true, .refused = "it closed"}}, "join",
            Stop(LaunchCause::kJoinRefused, "it closed")},
        Row{"a join socket that answered but was not taken: go on", kCookie,
            {.join = {.refused = "not this user's"}}, "join listener probe socket", Way_(Way::kRelay)},
        Row{"--trust-host with this machine as the host", kTrustHost, {.hostIsThisMachine = true}, "",
            Stop(LaunchCause::kTrustHostLocal)},
        Row{"this machine as the host is no matter without a relay", kNoRelay,
            {.listener = kSelf, .reach = Reach::kListening, .hostIsThisMachine = true}, "listener probe",
            Direct(kSelf)}));

}  // namespace
}  // namespace dovrel
