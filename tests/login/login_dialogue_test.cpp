// The login dialogue on a socket pair: what the host's text leads to, and
// what was typed.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "session/login/login_dialogue.h"
#include "socket_pair.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

// What the host does once it has said everything.
enum class Then { kStaysOpen, kClosesItsSide, kIsGone };

struct Script {
  const char* what;
  std::string host;    // everything the host says, in order
  Then then;
  std::optional<LoginStop::Kind> stop;  // none: a shell waits
  LoginStop::Stage step;          // where it stopped (kStopped)
  const char* typed;   // what the host received
};

void PrintTo(const Script& s, std::ostream* os) { *os << s.what; }

class LoginDialogue : public ::testing::TestWithParam<Script> {};

TEST_P(LoginDialogue, FollowsTheHostsText) {
  const Script& s = GetParam();
  test::SocketPair pair;
  ASSERT_TRUE(pair.client && pair.host);
  ASSERT_EQ(::send(pair.host.Get(), s.host.data(), s.host.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.host.size()));
  if (s.then == Then::kClosesItsSide) ::shutdown(pair.host.Get(), SHUT_WR);
  if (s.then == Then::kIsGone) pair.host.Reset();
  // The host reads what is typed, as a live one does (that is its
  // acknowledgement), to the end of what the client sends.
  std::string typed;
  std::thread reader([&] {
    char buffer[256];
    while (pair.host) {
      const ssize_t n = ::recv(pair.host.Get(), buffer, sizeof buffer, 0);
      if (n <= 0) break;
      typed.append(buffer, static_cast<std::size_t>(n));
    }
  });
  AbortSignal abort;
  Limits limits;
  limits.readLimit = 200ms;
  limits.textQuiet = 100ms;
  TelnetChannel channel(pair.client.Get(), abort, limits);
  std::string name = "alice";
  std::string password = "s3cret";
  const std::optional<LoginStop> result =
      LogIn(channel, SecretBytes::TakeFrom(name), SecretBytes::TakeFrom(password), limits, [](std::string_view) {});
  ::shutdown(pair.client.Get(), SHUT_WR);
  reader.join();
  ASSERT_EQ(result.has_value(), s.stop.has_value());
  if (result) {
    EXPECT_EQ(result->kind, *s.stop);
    EXPECT_EQ(result->stage, s.step);
  }
  EXPECT_EQ(typed, s.typed);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, LoginDialogue,
    ::testing::Values(
        Script{"a shell", "host login: Password: \r\nLast login: today\r\n$ ", Then::kStaysOpen, std::nullopt,
               LoginStop::Stage::kShell, "alice\ns3cret\n"},
        Script{"options first", "\xff\xfd\x18\xff\xfb\x01login: Password: \r\n% ", Then::kStaysOpen, std::nullopt,
               LoginStop::Stage::kShell, "\xff\xfc\x18\xff\xfe\x01" "alice\ns3cret\n"},
        Script{"refused", "login: Password: \r\nLogin incorrect\r\nlogin: ", Then::kStaysOpen,
               LoginStop::Kind::kLoginIncorrect, LoginStop::Stage::kShell, "alice\ns3cret\n"},
        Script{"closed after the name", "login: ", Then::kClosesItsSide, LoginStop::Kind::kHostStopped,
               LoginStop::Stage::kPasswordPrompt, "alice\n"},
        Script{"gone at the prompt", "login: ", Then::kIsGone, LoginStop::Kind::kSendFailed, LoginStop::Stage::kLoginPrompt, ""},
        Script{"silent", "", Then::kStaysOpen, LoginStop::Kind::kHostStopped, LoginStop::Stage::kFirstText, ""}));

}  // namespace
}  // namespace dovrel
