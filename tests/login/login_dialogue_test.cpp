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

struct Script {
  const char* what;
  std::string host;    // everything the host says, in order
  bool hostCloses;     // then it closes its side
  std::optional<LaunchCause> stop;  // none: a shell waits
  Step step;           // where it stopped (kStopped)
  const char* typed;   // what the host received
};

void PrintTo(const Script& s, std::ostream* os) { *os << s.what; }

class LoginDialogue : public ::testing::TestWithParam<Script> {};

TEST_P(LoginDialogue, FollowsTheHostsText) {
  const Script& s = GetParam();
  test::SocketPair pair;
  ASSERT_TRUE(pair.client && pair.host);
  ASSERT_EQ(::send(pair.host.Get(), s.host.data(), s.host.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.host.size()));
  if (s.hostCloses) ::shutdown(pair.host.Get(), SHUT_WR);
  // The host reads what is typed, as a live one does (that is its
  // acknowledgement), to the end of what the client sends.
  std::string typed;
  std::thread reader([&] {
    char buffer[256];
    for (;;) {
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
  const LoginResult result =
      LogIn(channel, SecretBytes::TakeFrom(name), SecretBytes::TakeFrom(password), limits, [](std::string_view) {});
  ::shutdown(pair.client.Get(), SHUT_WR);
  reader.join();
  ASSERT_EQ(result.has_value(), s.stop.has_value());
  if (result) {
    EXPECT_EQ(result->cause, *s.stop);
    EXPECT_EQ(result->step, s.step);
  }
  EXPECT_EQ(typed, s.typed);
}

// A host gone before the name can be typed: the name is not sent, and the
// dialogue says where.
TEST(LoginDialogueSend, AHostGoneAtThePromptIsASendFailureThere) {
  test::SocketPair pair;
  ASSERT_TRUE(pair.client && pair.host);
  ASSERT_EQ(::send(pair.host.Get(), "login: ", 7, MSG_NOSIGNAL), 7);
  pair.host.Reset();
  AbortSignal abort;
  Limits limits;
  limits.readLimit = 200ms;
  TelnetChannel channel(pair.client.Get(), abort, limits);
  std::string name = "alice";
  std::string password = "s3cret";
  const LoginResult result =
      LogIn(channel, SecretBytes::TakeFrom(name), SecretBytes::TakeFrom(password), limits, [](std::string_view) {});
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->cause, LaunchCause::kSendFailed);
  EXPECT_EQ(result->step, Step::kLoginPrompt);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, LoginDialogue,
    ::testing::Values(
        Script{"a shell", "host login: Password: \r\nLast login: today\r\n$ ", false, std::nullopt,
               Step::kShell, "alice\ns3cret\n"},
        Script{"options first", "\xff\xfd\x18\xff\xfb\x01login: Password: \r\n% ", false, std::nullopt,
               Step::kShell, "\xff\xfc\x18\xff\xfe\x01" "alice\ns3cret\n"},
        Script{"refused", "login: Password: \r\nLogin incorrect\r\nlogin: ", false,
               LaunchCause::kLoginIncorrect, Step::kShell, "alice\ns3cret\n"},
        Script{"closed after the name", "login: ", true, LaunchCause::kHostStopped, Step::kPasswordPrompt,
               "alice\n"},
        Script{"silent", "", false, LaunchCause::kHostStopped, Step::kFirstText, ""}));

}  // namespace
}  // namespace dovrel
