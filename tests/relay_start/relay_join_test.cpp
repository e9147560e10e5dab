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

std::string JoinName(const char* served) { return RelayJoinName(std::string(served) + ":6009"); }

// What a squatter of another user read from whoever joined: -1 when nobody
// connected.
class Squatter {
 public:
  Squatter() {
    int ready[2];
    int result[2];
    if (::pipe(ready) != 0 || ::pipe(result) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(ready[0]);
      ::close(result[0]);
      if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(1);
      const UniqueFd listener = ListenAbstract(JoinName(kSquatted));
      const char byte = listener ? 1 : 0;
      [[maybe_unused]] const auto told = ::write(ready[1], &byte, 1);
      pollfd waiting{listener.Get(), POLLIN, 0};
      int got = -1;
      if (::poll(&waiting, 1, 2000) == 1) {
        const UniqueFd joined(::accept(listener.Get(), nullptr, nullptr));
        pollfd readable{joined.Get(), POLLIN, 0};
        char bytes[256];
        got = 0;
        if (::poll(&readable, 1, 300) == 1) got = static_cast<int>(::read(joined.Get(), bytes, sizeof bytes));
      }
      [[maybe_unused]] const auto said = ::write(result[1], &got, sizeof got);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(result[1]);
    m_ready.Reset(ready[0]);
    m_result.Reset(result[0]);
  }
  ~Squatter() {
    if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
  }
  Squatter(const Squatter&) = delete;
  Squatter& operator=(const Squatter&) = delete;

  bool Listening() {
    char byte = 0;
    return m_pid > 0 && ::read(m_ready.Get(), &byte, 1) == 1 && byte == 1;
  }
  int BytesItRead() {
    int got = -2;
    return ::read(m_result.Get(), &got, sizeof got) == sizeof got ? got : -2;
  }

 private:
  pid_t m_pid = -1;
  UniqueFd m_ready;
  UniqueFd m_result;
};

TEST(RelayJoin, ANameHeldByAnotherUserIsNotJoinedAndIsToldNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the squatter as nobody";
  Squatter squatter;
  ASSERT_TRUE(squatter.Listening());
  const JoinResult join = JoinDisplayRelay(kSquatted, "127.0.0.1", kDisplay, &kCookie, 500ms, kNoAbort);
  EXPECT_FALSE(join.joined);
  EXPECT_NE(join.refused.find("held by uid 65534, not by this user"), std::string::npos) << join.refused;
  EXPECT_EQ(squatter.BytesItRead(), 0) << "neither the host nor the cookie";
}

TEST(RelayJoin, ARelayThatDoesNotAnswerIsNotJoined) {
  const UniqueFd silent = ListenAbstract(JoinName(kSilent));
  ASSERT_TRUE(silent);
  const JoinResult join = JoinDisplayRelay(kSilent, "127.0.0.1", kDisplay, &kCookie, 100ms, kNoAbort);
  EXPECT_FALSE(join.joined);
  EXPECT_NE(join.refused.find("did not answer"), std::string::npos) << join.refused;
  EXPECT_FALSE(JoinDisplayRelay("127.0.0.79", "127.0.0.1", kDisplay, &kCookie, 100ms, kNoAbort).joined)
      << "no relay at all: nothing joined";
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
