// Joining the relay of an earlier launch: only a relay of this user's that
// answers is joined, and it is told the host and the cookie only then.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "common/net/abort_signal.h"
#include "session/relay_start/launch_cookie.h"
#include "common/net/local_socket.h"
#include "session/relay_start/relay_process.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

constexpr int kDisplay = 9;
// Addresses no relay of this machine's serves, one for each test.
const char* const kSquatted = "127.0.0.77";
const char* const kSilent = "127.0.0.78";
const AbortSignal kNoAbort;
const LaunchCookie kCookie({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});

// Where the relay serving `served`, port 6009, takes joins.
std::string JoinPath(const char* served) {
  return OwnSocketDirectory().value_or("/nonexistent") + "/" + RelayJoinName(std::string(served) + ":6009");
}

// Whether another account (nobody) can listen where the join is looked for.
bool NobodyCanListenAt(const std::string& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(2);
    ::_exit(ListenSocketFile(path) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(RelayJoin, NoOtherAccountCanTakeTheJoinsName) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to try it as nobody";
  const std::string path = JoinPath(kSquatted);
  ASSERT_NE(path.rfind("/nonexistent", 0), 0U);
  EXPECT_FALSE(NobodyCanListenAt(path));
  EXPECT_FALSE(JoinDisplayRelay(kSquatted, "127.0.0.1", kDisplay, &kCookie, 500ms, kNoAbort).joined);
}

TEST(RelayJoin, ALeftOverSocketIsReplacedAndALiveOneIsNot) {
  const std::string path = JoinPath(kSquatted);
  {
    const UniqueFd gone = ListenSocketFile(path);
    ASSERT_TRUE(gone);
  }  // closed, as by a relay that was killed: its file stays
  UniqueFd live = ListenSocketFile(path);
  EXPECT_TRUE(live) << "a stale socket file is replaced";
  EXPECT_FALSE(ListenSocketFile(path)) << "a server that answers keeps its name";
  live.Reset();
  ::unlink(path.c_str());
}

TEST(RelayJoin, ARelayThatDoesNotAnswerIsNotJoined) {
  const UniqueFd silent = ListenSocketFile(JoinPath(kSilent));
  ASSERT_TRUE(silent);
  const JoinResult join = JoinDisplayRelay(kSilent, "127.0.0.1", kDisplay, &kCookie, 100ms, kNoAbort);
  EXPECT_FALSE(join.joined);
  EXPECT_NE(join.refused.find("did not answer"), std::string::npos) << join.refused;
  EXPECT_FALSE(JoinDisplayRelay("127.0.0.79", "127.0.0.1", kDisplay, &kCookie, 100ms, kNoAbort).joined)
      << "no relay at all: nothing joined";
  ::unlink(JoinPath(kSilent).c_str());
}

TEST(LaunchCookie, IsRandomAndReadsBackFromItsHex) {
  const auto a = LaunchCookie::Make();
  const auto b = LaunchCookie::Make();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->Hex().View(), b->Hex().View());
  CookieBytes read{};
  ASSERT_TRUE(CookieFromHex(a->Hex().View(), read));
  EXPECT_EQ(read, a->Bytes());
}

}  // namespace
}  // namespace dovrel
