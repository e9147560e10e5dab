// Knowing whether the terminal appeared: the display checked before the
// login, the watch after the command line, and what the user is told.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "session/relay_start/launch_cookie.h"
#include "worker_fixture.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ScriptedHost;

class WatchedLaunch : public test::WorkerFixture {
 protected:
  WatchedLaunch() { m_setup.display = m_display; }

  void Start(bool xterm = false, bool verbose = false) {
    m_setup.options.verbose = verbose;
    WorkerFixture::Start({.password = "s3cret-pw", .xterm = xterm});
  }

  // The host's side up to the command line, which it returns.
  std::string LogInAndReadCommand() {
    EXPECT_TRUE(m_host.Accept());
    EXPECT_TRUE(m_host.Send("host login: "));
    EXPECT_TRUE(m_host.ReadUntil("alice\n"));
    EXPECT_TRUE(m_host.Send("alice\r\nPassword: "));
    EXPECT_TRUE(m_host.ReadUntil("s3cret-pw\n"));
    EXPECT_TRUE(m_host.Send("\r\nalice@host:~$ "));
    EXPECT_TRUE(m_host.ReadUntil(" &\n"));
    return m_host.Received().substr(m_host.Received().find("s3cret-pw\n") + 10);
  }
};

// Found before anything is typed: no way to the display, or one that would
// take the terminal to somebody else. The rule itself is a table of its own
// (display_rule_test); these rows run it through the whole session.
struct BeforeLogin {
  const char* what;
  LaunchCause cause;
  LocalDisplay::Reach reach;
  std::optional<std::uint32_t> listenerOwner;
  bool relay;        // false: --no-relay
  bool localSocket;  // an X server on the display's local socket
  bool trustHost;
  const char* relayProgram;
  const char* says;
};

void PrintTo(const BeforeLogin& c, std::ostream* os) { *os << c.what; }

class DisplayCheck : public WatchedLaunch, public ::testing::WithParamInterface<BeforeLogin> {};

TEST_P(DisplayCheck, StopsBeforeAnythingIsTyped) {
  const BeforeLogin& c = GetParam();
  m_display->reach = c.reach;
  m_display->listenerOwner = c.listenerOwner;
  m_display->localSocket = c.localSocket;
  m_display->answersAsX = false;
  m_setup.options.relay = c.relay;
  m_setup.options.trustHost = c.trustHost;
  m_setup.relayProgram = c.relayProgram;
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("\xff\xfd\x01host login: "));
  ASSERT_TRUE(Finishes());
  EXPECT_TRUE(m_host.ReadUntilClosed(1s));
  EXPECT_EQ(m_host.Received(), "") << "no user name, not even an option answer";
  EXPECT_EQ(m_session->Outcome(), c.cause);
  ASSERT_EQ(m_observer->Messages(), std::vector{EndBox::kLaunchFailed});
  const std::string text = m_observer->MessageTexts().front();
  EXPECT_NE(text.find(c.says), std::string::npos) << text;
  EXPECT_TRUE(m_observer->Reports().ends_with("dovrel: " + text + "\n")) << "the same text, one line";
  // A listener of another account learns nothing of the launch.
  if (c.cause == LaunchCause::kForeignListener) {
    EXPECT_EQ(m_display->connections, 0) << "no connection to it";
  }
}

using Reach = LocalDisplay::Reach;
INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayCheck,
    ::testing::Values(
        BeforeLogin{"no relay asked for", LaunchCause::kNoTcp, Reach::kRefused, std::nullopt, false, true, false,
                    DOVREL_RELAY_PROGRAM,
                    "does not accept TCP connections (nothing answers at 127.0.0.1 port 6001), so no terminal can "
                    "reach it; nothing was typed on 127.0.0.1. Let the X server listen on TCP: start it with "
                    "-listen tcp"},
        BeforeLogin{"no relay program", LaunchCause::kNoTcp, Reach::kRefused, std::nullopt, true, true, false,
                    "/nonexistent/dovrel-relay", "does not accept TCP connections"},
        BeforeLogin{"another user listens on the port", LaunchCause::kForeignListener, Reach::kListening, 65534, true,
                    true, false, DOVREL_RELAY_PROGRAM,
                    "TCP port 6001 of 127.0.0.1, where the terminal would reach display :1, is held by uid 65534, "
                    "neither root nor you"},
        BeforeLogin{"root listens, but not as an X server", LaunchCause::kListenerNotX, Reach::kListening, 0, true,
                    true, false, DOVREL_RELAY_PROGRAM,
                    "is held by root but does not answer as an X server"},
        BeforeLogin{"--trust-host with this machine as the host", LaunchCause::kTrustHostLocal, Reach::kRefused,
                    std::nullopt, true, true, true, DOVREL_RELAY_PROGRAM,
                    "--trust-host lets in whatever connects from the host's address, and 127.0.0.1 is this machine"}));

// The relay's program starts while the host prints its login prompt; one
// that then says it did not start stops the launch before the user name
// (with --untrusted, as the relay's own failure). Each row on a display of
// its own (5 and 6, which no other test uses): the rows run side by side.
class FailingRelay : public WatchedLaunch, public ::testing::WithParamInterface<bool> {};

TEST_P(FailingRelay, StopsTheLaunchBeforeTheUserName) {
  m_setup.options.untrusted = GetParam();
  m_display->reach = LocalDisplay::Reach::kRefused;
  m_display->localSocket = true;
  m_setup.relayProgram = "/bin/false";
  const int display = GetParam() ? 6 : 5;
  WorkerFixture::Start({.password = "s3cret-pw", .display = display});
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("\xff\xfd\x01host login: "));
  ASSERT_TRUE(Finishes());
  EXPECT_TRUE(m_host.ReadUntilClosed(1s));
  EXPECT_EQ(m_host.Received(), "\xff\xfc\x01") << "the option answered, nothing typed";
  EXPECT_EQ(m_session->Outcome(), GetParam() ? LaunchCause::kRelayFailed : LaunchCause::kNoTcp);
  EXPECT_NE(m_observer->Reports().find("cannot relay display :" + std::to_string(display) +
                                       " for the host: /bin/false did not start"),
            std::string::npos)
      << m_observer->Reports();
}

INSTANTIATE_TEST_SUITE_P(Untrusted, FailingRelay, ::testing::Bool());

// The relay's port, served on the connection's own address for the host
// (here the same address): whether a connection is taken.
bool RelayPortTakesConnections() {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(6007);
  ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  return ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// Displays 7 to 9, which no other test uses: a relay these tests start is
// not joined by a parallel test's launch to the same display.
class RelayedDisplay : public WatchedLaunch {
 protected:
  RelayedDisplay() {
    m_display->reach = LocalDisplay::Reach::kRefused;
    m_display->localSocket = true;
    m_setup.relayProgram = DOVREL_RELAY_PROGRAM;
  }
  // The host's side up to the shell prompt.
  void LogIn() {
    ASSERT_TRUE(m_host.Accept());
    ASSERT_TRUE(m_host.Send("host login: "));
    ASSERT_TRUE(m_host.ReadUntil("alice\n"));
    ASSERT_TRUE(m_host.Send("alice\r\nPassword: "));
    ASSERT_TRUE(m_host.ReadUntil("s3cret-pw\n"));
    ASSERT_TRUE(m_host.Send("\r\nalice@host:~$ "));
  }
};

// With the relay serving the port, the launch's cookie goes to the host's
// xauth on its standard input, once xauth reads; the command line follows,
// unchanged; the cookie shows nowhere in the report.
TEST_F(RelayedDisplay, InstallsTheLaunchsCookieWithTheHostsXauthBeforeTheCommandLine) {
  m_setup.options.verbose = true;
  WorkerFixture::Start({.password = "s3cret-pw", .xterm = true, .display = 7});
  LogIn();
  ASSERT_TRUE(m_host.ReadUntil("xauth -v -\n"));
  EXPECT_TRUE(RelayPortTakesConnections()) << m_observer->Reports();
  // Nothing more until xauth asks for its commands.
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(m_host.Received().ends_with("xauth -v -\n"));
  ASSERT_TRUE(m_host.Send("xauth -v -\r\nUsing authority file /home/alice/.Xauthority\r\nxauth> "));
  // The cookie, xauth's exit, and the command line for the shell after it.
  ASSERT_TRUE(m_host.ReadUntil(" &\n"));
  const std::string received = m_host.Received();
  const std::size_t add = received.find("add 127.0.0.1:7 MIT-MAGIC-COOKIE-1 ");
  ASSERT_NE(add, std::string::npos) << received;
  const std::string hex = received.substr(add + 35, 32);
  CookieBytes read{};
  EXPECT_TRUE(CookieFromHex(hex, read)) << hex;
  EXPECT_EQ(received.substr(add + 35 + 32), "\nexit\nxterm -geometry 80x25+0+0 -display 127.0.0.1:7 &\n");
  // The host echoes the lines, as a terminal does, in two pieces.
  ASSERT_TRUE(m_host.Send("add 127.0.0.1:7 MIT-MAGIC-COOKIE-1 " + hex.substr(0, 13)));
  std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(m_host.Send(hex.substr(13) + "\r\nexit\r\nxterm -geometry 80x25+0+0 -display 127.0.0.1:7 &\r\n" +
                          "xauth> Writing authority file /home/alice/.Xauthority\r\nalice@host:~$ "));
  m_display->ShowTerminal();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kSeen);
  const std::string reports = m_observer->Reports();
  EXPECT_EQ(reports.find(hex), std::string::npos) << reports;
  for (std::size_t at = 0; at + 8 <= hex.size(); at += 4) {
    EXPECT_EQ(reports.find(hex.substr(at, 8)), std::string::npos) << "not even a piece of it: " << reports;
  }
  EXPECT_NE(reports.find("typed: ********"), std::string::npos) << reports;
  EXPECT_NE(reports.find("serving 127.0.0.1:6007 for 127.0.0.1 alone, with this launch's cookie"), std::string::npos)
      << reports;
  // With the launch over and no relayed connection left, the port closes.
  for (int look = 0; look < 100 && RelayPortTakesConnections(); ++look) std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(RelayPortTakesConnections());
}

// A host whose xauth is missing or says nothing: the cause and the remedy,
// no cookie and no command line, and the login ended.
struct XauthTrouble {
  const char* what;
  const char* answer;  // the host's words after the xauth line
  LaunchCause cause;
  const char* words;   // the box's
  int display;         // one of its own, as the rows run side by side (8 and 9: no other test's)
};

void PrintTo(const XauthTrouble& t, std::ostream* os) { *os << t.what; }

class XauthTroubles : public RelayedDisplay, public ::testing::WithParamInterface<XauthTrouble> {};

TEST_P(XauthTroubles, StopBeforeTheCommandLine) {
  const XauthTrouble& t = GetParam();
  m_setup.options.verbose = false;
  m_setup.limits.readLimit = 400ms;
  WorkerFixture::Start({.password = "s3cret-pw", .xterm = true, .display = t.display});
  LogIn();
  ASSERT_TRUE(m_host.ReadUntil("xauth -v -\n"));
  ASSERT_TRUE(m_host.Send(t.answer));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_host.Received().find("xterm"), std::string::npos) << "no command line";
  EXPECT_EQ(m_host.Received().find("add "), std::string::npos) << "no cookie typed to the shell";
  EXPECT_EQ(m_session->Outcome(), t.cause);
  ASSERT_EQ(m_observer->MessageTexts().size(), 1U);
  const std::string text = m_observer->MessageTexts().front();
  EXPECT_NE(text.find(t.words), std::string::npos) << text;
  EXPECT_NE(text.find("--trust-host: then every user of 127.0.0.1 can reach display :" + std::to_string(t.display)),
            std::string::npos)
      << text;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, XauthTroubles,
    ::testing::Values(XauthTrouble{"missing", "xauth -v -\r\n-bash: xauth: command not found\r\nalice@host:~$ ",
                                   LaunchCause::kNoXauth, "xauth was not found on 127.0.0.1", 8},
                      XauthTrouble{"silent", "xauth -v -\r\n", LaunchCause::kXauthSilent,
                                   "xauth on 127.0.0.1 did not answer", 9}));

TEST_F(WatchedLaunch, TheTerminalSeenEndsTheSessionWithinMomentsNotAfterTheDrain) {
  m_setup.limits.drainQuiet = 5000ms;
  Start(true);
  const std::string command = LogInAndReadCommand();
  ASSERT_TRUE(m_host.Send("xterm -geometry 80x25+0+0 &\r\n[1] 4242\r\n$ "));
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(m_host.Received().ends_with("exit\n")) << "exit waits for the outcome";
  const auto shown = Clock::now();
  m_display->ShowTerminal();
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  ASSERT_TRUE(Finishes());
  EXPECT_LT(Clock::now() - shown, 2000ms) << "well before the 5 s drain";
  EXPECT_EQ(command, "xterm -geometry 80x25+0+0 -display " + m_host.PeerAddress() + ":1 &\n");
  EXPECT_TRUE(m_host.Received().ends_with(command + "exit\n")) << "the command line, then exit";
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kSeen);
  EXPECT_TRUE(m_observer->Messages().empty());
  EXPECT_EQ(m_observer->Phases(), (std::vector{SessionPhase::kConnecting, SessionPhase::kLoggingIn,
                                               SessionPhase::kStartingTerminal, SessionPhase::kWaitingForWindow}));
}

struct HostSays {
  const char* what;
  const char* text;
  LaunchCause outcome;
  const char* explained;  // a piece of the box's text; empty: no box text
};

void PrintTo(const HostSays& c, std::ostream* os) { *os << c.what; }

class HostSaysWhy : public WatchedLaunch, public ::testing::WithParamInterface<HostSays> {};

TEST_P(HostSaysWhy, TheSessionEndsWithStatus1AndTheReasonAfterTheConnectionCloses) {
  const HostSays& c = GetParam();
  m_setup.limits.watchLimit = 60000ms;
  Start();
  LogInAndReadCommand();
  const auto said = Clock::now();
  ASSERT_TRUE(m_host.Send(c.text));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  EXPECT_LT(Clock::now() - said, 1s) << "no waiting for the watch to run out";
  m_host.Close();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), c.outcome);
  ASSERT_EQ(m_observer->MessageTexts().size(), 1U);
  const std::string text = m_observer->MessageTexts().front();
  EXPECT_NE(text.find(c.explained), std::string::npos) << text;
  EXPECT_NE(m_observer->Reports().find(c.explained), std::string::npos) << m_observer->Reports();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, HostSaysWhy,
    ::testing::Values(
        HostSays{"kterm missing", "[1] 4242\r\n-bash: kterm: command not found\r\n", LaunchCause::kProgramMissing,
                 "add x to the command line to start xterm instead. The host said: \"-bash: kterm: command not found\""},
        HostSays{"no cookie", "Authorization required, but no authorization protocol specified\r\n",
                 LaunchCause::kDisplayRefused, "xhost +127.0.0.1"},
        HostSays{"display unreachable", "kterm: Xt error: Can't open display: 10.0.0.1:1\r\n",
                 LaunchCause::kDisplayFailed, "could not open the display"},
        HostSays{"the login failed after all", "\r\nLogin incorrect\r\nhost login: ",
                 LaunchCause::kLoginIncorrect, ""}));

TEST_F(WatchedLaunch, NoWindowAndNoWordWithinTheWatchIsAFailureThatNamesTheFirewall) {
  const auto clock = SkipWaits();
  m_setup.limits.watchLimit = Limits{}.watchLimit;
  Start();
  LogInAndReadCommand();
  const auto typed = clock->Now();
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  EXPECT_GE(clock->Now() - typed, m_setup.limits.watchLimit - 100ms);
  EXPECT_LT(clock->Now() - typed, m_setup.limits.watchLimit + 500ms);
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kNoWindow);
  EXPECT_NE(m_observer->Reports().find("a firewall may drop connections to port 6001 of 127.0.0.1"),
            std::string::npos)
      << m_observer->Reports();
}

TEST_F(WatchedLaunch, AWindowThatCannotBeWatchedFallsBackToTheQuietHost) {
  m_display->seesWindows = false;
  m_setup.limits.watchLimit = 60000ms;
  Start();
  LogInAndReadCommand();
  ASSERT_TRUE(m_host.ReadUntil("exit\n", 2s)) << "the drain's quiet, not the watch's limit";
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAssumed);
  EXPECT_TRUE(m_observer->Messages().empty());
}

TEST_F(WatchedLaunch, TheBoxComesOnlyAfterTheConnectionIsClosed) {
  // A box left on screen must not keep the remote login waiting.
  std::atomic<bool> openDuringTheBox{true};
  m_observer->OnMessage([this, &openDuringTheBox] { openDuringTheBox = m_session->HasOpenSocket(); });
  Start();
  LogInAndReadCommand();
  ASSERT_TRUE(m_host.Send("\r\nLogin incorrect\r\nhost login: "));
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_observer->Messages(), std::vector{EndBox::kLoginIncorrect});
  EXPECT_FALSE(openDuringTheBox);
}

TEST_F(WatchedLaunch, VerboseReportsEveryStepButNeverThePassword) {
  Start(false, true);
  LogInAndReadCommand();
  m_display->ShowTerminal();
  ASSERT_TRUE(Finishes());
  const std::string log = m_observer->Reports();
  EXPECT_EQ(log.find("s3cret-pw"), std::string::npos) << log;
  for (const char* step : {"connecting to 127.0.0.1", "host: host login:", "typed: alice\\n",
                           "typed: ********", "typed: kterm -geometry", "typed: exit\\n",
                           "the terminal has started"}) {
    EXPECT_NE(log.find(step), std::string::npos) << step << " in\n" << log;
  }
}

TEST_F(WatchedLaunch, AUserNameTypedAtABannerIsTypedAgainAtTheRealPromptOnce) {
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("NOTICE: to login: use your staff account\r\n"));
  ASSERT_TRUE(m_host.ReadUntil("alice\n"));
  ASSERT_TRUE(m_host.Send("alice\r\n\r\nhost login: "));
  ASSERT_TRUE(m_host.ReadUntil("alice\nalice\n"));
  ASSERT_TRUE(m_host.Send("alice\r\nhost login: "));  // and still not taken
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_host.Received(), "alice\nalice\n") << "twice in all";
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kNameNotTaken);
  EXPECT_NE(m_observer->Reports().find("asked for the login name again"), std::string::npos);
}

TEST_F(WatchedLaunch, AFailureBeforeTheLaunchSaysWhereItStoppedAndQuotesTheHost) {
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("host login: "));
  ASSERT_TRUE(m_host.ReadUntil("alice\n"));
  ASSERT_TRUE(m_host.Send("alice\r\nSystem going down"));
  m_host.Close();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_observer->Reports(),
            "dovrel: stopped waiting for the password prompt: the host closed the connection; "
            "its last line: \"System going down\"\n");
}

}  // namespace
}  // namespace dovrel
