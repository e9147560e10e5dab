// The whole dialogue against scripted hosts on loopback, checking the exact
// bytes on the wire, and how each kind of ending is reported.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "hanging_listener.h"
#include "session/launcher_session.h"
#include "recording_observer.h"
#include "scripted_host.h"
#include "session/session_thread.h"
#include "skipping_clock.h"
#include "worker_fixture.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::RecordingObserver;
using test::ScriptedHost;
using Clock = std::chrono::steady_clock;

const std::string kBusyboxOpening = Bytes({255, 253, 1, 255, 253, 31, 255, 251, 1, 255, 251, 3});
const std::string kBusyboxReplies = Bytes({255, 252, 1, 255, 252, 31, 255, 254, 1, 255, 254, 3});

std::string Text(const char* text) { return text; }

class Dialogue : public test::WorkerFixture {
 protected:
  Dialogue() { m_setup.limits.readLimit = 1500ms; }

  // The host's side of a login up to the password line.
  void LogIn(const std::string& opening = kBusyboxOpening + "\r\r\nDebian GNU/Linux 12\r\n\r\nhost login: ") {
    ASSERT_TRUE(m_host.Accept());
    ASSERT_TRUE(m_host.Send(opening));
    ASSERT_TRUE(m_host.ReadUntil("alice\n"));
    ASSERT_TRUE(m_host.Send("Password: "));
    ASSERT_TRUE(m_host.ReadUntil("secret\n"));
  }

  // A host of a test's own, to its shell's prompt.
  static void LogInToAShell(ScriptedHost& host) {
    ASSERT_TRUE(host.Accept());
    ASSERT_TRUE(host.Send("login:"));
    ASSERT_TRUE(host.ReadUntil("alice\n"));
    ASSERT_TRUE(host.Send("Password:"));
    ASSERT_TRUE(host.ReadUntil("secret\n"));
    ASSERT_TRUE(host.Send("$ "));
  }

  std::string CommandFor(bool xterm, int display) {
    return std::string(xterm ? "x" : "k") + "term -geometry 80x25+0+0 -display " +
           m_host.PeerAddress() + ":" + std::to_string(display) + " &\n";
  }
};

TEST_F(Dialogue, TypesTheLoginAndLaunchesXtermByteForByte) {
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("Last login: Mon Dec  7 10:00:00 from 10.0.0.1\r\nalice@host:~$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  m_host.Close();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_host.Received(), kBusyboxReplies + "alice\n" + "secret\n" + CommandFor(true, 1) + "exit\n");
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAssumed);
  EXPECT_TRUE(m_observer->Messages().empty());
  EXPECT_EQ(m_observer->CloseRequests(), 1);
  EXPECT_FALSE(m_session->HasOpenSocket());
}

TEST_F(Dialogue, TypesTheCommandMomentsAfterTheShellPrompt) {
  Start();
  LogIn("login: ");
  const auto prompt = Clock::now();
  ASSERT_TRUE(m_host.Send("$ "));
  ASSERT_TRUE(m_host.ReadUntil(" &\n"));
  // The prompt's short quiet, and no line held back by the kernel until the
  // host's delayed ACK (40 ms a prompt).
  EXPECT_LT(Clock::now() - prompt, Limits{}.promptQuiet + 30ms);
}

TEST_F(Dialogue, TypesTheCommandAgainOnceWhenTheShellShowsAFreshPromptWithoutItsEcho) {
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("Last login: today\r\n$ "));
  ASSERT_TRUE(m_host.ReadUntil(" &\n"));
  // Thrown away unread: the shell prints its prompt again, and nothing else.
  ASSERT_TRUE(m_host.Send("\r\n$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n", 3s));
  const std::string command = CommandFor(true, 1);
  EXPECT_TRUE(m_host.Received().ends_with(command + command + "exit\n")) << m_host.Received();
}

TEST_F(Dialogue, NeverTypesTheCommandTwiceWhenItsEchoArrived) {
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("$ "));
  ASSERT_TRUE(m_host.ReadUntil(" &\n"));
  ASSERT_TRUE(m_host.Send("xterm -geometry 80x25+0+0 -display 10.0.0.1:1 &\r\n[1] 4242\r\n$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n", 3s));
  EXPECT_TRUE(m_host.Received().ends_with("secret\n" + CommandFor(true, 1) + "exit\n")) << m_host.Received();
}

TEST_F(Dialogue, LaunchesKtermOnTheDisplayAsked) {
  for (const int display : {0, 9}) {
    ScriptedHost host;
    auto observer = std::make_shared<RecordingObserver>();
    SessionSetup setup = m_setup;
    setup.port = host.Port();
    auto session = std::make_shared<LauncherSession>(
        SessionRequest{{"127.0.0.1", display, false}, Secret("alice"), Secret("secret")}, observer, setup);
    SessionThread worker(session);
    ASSERT_NO_FATAL_FAILURE(LogInToAShell(host));
    ASSERT_TRUE(host.ReadUntil("exit\n"));
    host.Close();
    ASSERT_TRUE(worker.WaitFor(10s));
    const std::string command = "kterm -geometry 80x25+0+0 -display " + host.PeerAddress() + ":" +
                                std::to_string(display) + " &\n";
    // The host's very first data byte is the "l" of its prompt.
    EXPECT_EQ(host.Received(), "alice\nsecret\n" + command + "exit\n") << "display " << display;
    EXPECT_EQ(session->Outcome(), LaunchCause::kAssumed);
  }
}

// No kterm on the host: the shell is still there, and xterm may be. The
// question waits for the user with every limit paused; the host closing
// meanwhile ends the launch.
TEST_F(Dialogue, AMissingKtermIsAQuestionOnTheSameConnection) {
  enum class User { kStartXterm, kCancel, kNone };
  struct Case {
    const char* name;
    User user;
    const char* xtermSays;  // the host's answer to the xterm command line
    LaunchCause outcome;
  };
  for (const Case& c : {Case{"start xterm", User::kStartXterm, "$ ", LaunchCause::kAssumed},
                        Case{"no xterm either", User::kStartXterm, "sh: 1: xterm: not found\r\n$ ",
                             LaunchCause::kProgramMissing},
                        Case{"cancel", User::kCancel, "", LaunchCause::kProgramMissing},
                        Case{"the host closes meanwhile", User::kNone, "", LaunchCause::kHostStopped}}) {
    ScriptedHost host;
    m_observer = std::make_shared<RecordingObserver>();
    SessionSetup setup = m_setup;
    setup.port = host.Port();
    const auto clock = std::make_shared<test::SkippingClock>();
    setup.clock = clock;
    m_observer->OnAsk([&](const UserQuestion&, const std::shared_ptr<AnswerSlot>& slot) {
      // A user who takes longer than every limit of the launch.
      if (c.user != User::kNone) clock->At(clock->Now() + 12s, [=] { slot->Give(c.user == User::kStartXterm); });
    });
    auto session = std::make_shared<LauncherSession>(
        SessionRequest{{"127.0.0.1", 1, false}, Secret("alice"), Secret("secret")}, m_observer, setup);
    SessionThread worker(session);
    ASSERT_NO_FATAL_FAILURE(LogInToAShell(host));
    const std::string kterm = "kterm -geometry 80x25+0+0 -display " + host.PeerAddress() + ":1 &\n";
    ASSERT_TRUE(host.ReadUntil(kterm));
    ASSERT_TRUE(host.Send("sh: 1: kterm: not found\r\n$ "));
    if (c.user == User::kNone) {
      for (int i = 0; i < 500 && m_observer->Questions().empty(); ++i) std::this_thread::sleep_for(10ms);
      host.Close();
    } else if (c.user == User::kStartXterm) {
      ASSERT_TRUE(host.ReadUntil("xterm -geometry 80x25+0+0 -display " + host.PeerAddress() + ":1 &\n")) << c.name;
      ASSERT_TRUE(host.Send(c.xtermSays));
    }
    if (c.user != User::kNone) {
      ASSERT_TRUE(host.ReadUntil("exit\n")) << c.name;
      host.Close();
    }
    ASSERT_TRUE(worker.WaitFor(10s)) << c.name;
    EXPECT_EQ(session->Outcome(), c.outcome) << c.name;
    ASSERT_EQ(m_observer->Questions().size(), 1U) << c.name;
    EXPECT_EQ(m_observer->Questions()[0].kind, UserQuestion::Kind::kStartXterm) << c.name;
    // Cancel ends as before, with its box and its line; a missing xterm
    // with its own.
    const bool missing = c.outcome == LaunchCause::kProgramMissing;
    EXPECT_EQ(m_observer->Messages().size(), missing ? 1U : 0U) << c.name;
    const std::string reports = m_observer->Reports();
    const char* said = c.user == User::kCancel ? "kterm was not found" : "xterm was not found";
    EXPECT_EQ(reports.find(said) != std::string::npos, missing) << c.name << reports;
  }
}

TEST_F(Dialogue, FindsPromptsSplitByteByByteAndAmongCommands) {
  Start();
  ASSERT_TRUE(m_host.Accept());
  const std::string opening = "\r\nhost l" + Bytes({255, 251, 3}) + "login" + Bytes({255, 241}) + ": ";
  for (const char c : opening) {
    ASSERT_TRUE(m_host.Send(std::string(1, c)));
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_TRUE(m_host.ReadUntil("alice\n"));
  for (const char c : Text("Pass") + Bytes({255, 253, 24}) + "word:") {
    ASSERT_TRUE(m_host.Send(std::string(1, c)));
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_TRUE(m_host.ReadUntil("secret\n"));
  ASSERT_TRUE(m_host.Send("$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  EXPECT_EQ(m_host.Received(),
            Bytes({255, 254, 3}) + "alice\n" + Bytes({255, 252, 24}) + "secret\n" + CommandFor(true, 1) + "exit\n");
}

TEST_F(Dialogue, WaitsForTheShellWhenTheLoginProgramFlushesTypeAhead) {
  Start();
  LogIn();
  // Like /bin/login: whatever arrives before the shell starts is thrown away.
  m_host.ReadFor(500ms);
  const std::size_t typedAhead = m_host.Received().size();
  ASSERT_TRUE(m_host.Send("\r\nLinux host\r\n\x1b[?2004hhost% "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  EXPECT_EQ(typedAhead, m_host.Received().find("xterm"))
      << "the command line was typed before the shell was ready";
}

// The quiet-time rules, on a clock that skips the waits.
TEST_F(Dialogue, TypesTheCommandAfterQuietTextWithoutAPrompt) {
  const auto clock = SkipWaits();
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("login: "));
  ASSERT_TRUE(m_host.ReadUntil("alice\n"));
  // The text is there before the password goes out: no race with the wait.
  const auto sent = clock->Now();
  ASSERT_TRUE(m_host.Send("Password: \r\nWelcome to a host with an unusual prompt\r\nready: "));
  ASSERT_TRUE(m_host.ReadUntil(" &\n"));
  EXPECT_GE(clock->Now() - sent, m_setup.limits.textQuiet);
  EXPECT_LT(clock->Now() - sent, m_setup.limits.textQuiet + 500ms);
}

TEST_F(Dialogue, TypesTheCommandAnywayWhenNothingArrivesAfterThePassword) {
  const auto clock = SkipWaits();
  Start();
  LogIn();
  const auto sent = clock->Now();
  ASSERT_TRUE(m_host.ReadUntil(" &\n"));
  EXPECT_GE(clock->Now() - sent, m_setup.limits.readLimit);
  EXPECT_LT(clock->Now() - sent, m_setup.limits.readLimit + 500ms);
}

TEST_F(Dialogue, TheProgramsOwnReadLimitIsFiveSecondsOfSilence) {
  const auto clock = SkipWaits();
  m_setup.limits = Limits{};
  // Timed from before the worker starts: its wait may begin before this
  // thread reads the clock.
  const auto started = clock->Now();
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(Finishes());
  EXPECT_GE(clock->Now() - started, 5s);
  EXPECT_LT(clock->Now() - started, 5500ms);
  EXPECT_NE(m_observer->Reports().find("the host sent nothing for 5 s"), std::string::npos) << m_observer->Reports();
}

TEST_F(Dialogue, ReportsALoginIncorrectAndTypesNothingMore) {
  SkipWaits();
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("\r\n\r\nLogin incorrect\r\nhost login: "));
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_host.Received(), kBusyboxReplies + "alice\nsecret\n");
  EXPECT_EQ(m_observer->Messages(), std::vector{EndBox::kLoginIncorrect});
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kLoginIncorrect);
  EXPECT_TRUE(m_host.ReadUntilClosed(1s));
}

TEST_F(Dialogue, GivesUpSilentlyOnAPromptInAnotherCase) {
  const auto clock = SkipWaits();
  Start();
  const auto started = clock->Now();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("\r\nhost Login: "));
  ASSERT_TRUE(Finishes());
  EXPECT_GE(clock->Now() - started, m_setup.limits.readLimit);
  EXPECT_EQ(m_host.Received(), "");
  EXPECT_TRUE(m_observer->Messages().empty());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kHostStopped);
  EXPECT_EQ(m_observer->CloseRequests(), 1);
}

TEST_F(Dialogue, SendsA20ByteNameAndThePasswordAsTyped) {
  const std::string name = "abcdefghijklmnopqrst";
  const std::string password = "p\x80ss";
  Start({.userId = name, .password = password});
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send("login: "));
  ASSERT_TRUE(m_host.ReadUntil(name + "\n"));
  ASSERT_TRUE(m_host.Send("Password: "));
  ASSERT_TRUE(m_host.ReadUntil("ss\n"));
  EXPECT_EQ(m_host.Received(), name + "\n" + "p\x80ss\n");
}

TEST_F(Dialogue, EndsAtOnceWhenTheHostClosesAfterExit) {
  m_setup.limits.drainQuiet = 2000ms;
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  const auto closed = Clock::now();
  m_host.Close();
  ASSERT_TRUE(Finishes());
  EXPECT_LT(Clock::now() - closed, 1s);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAssumed);
}

// In real time: the proof that the waits keep the system's clock.
TEST_F(Dialogue, EndsTheDrainsQuietAfterTheLastByteOfAHostThatStaysOpen) {
  m_setup.limits.drainQuiet = 500ms;
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  // The remote terminal keeps the connection open and the shell chats on.
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(m_host.Send("logout\r\n"));
  }
  const auto last = Clock::now();
  ASSERT_TRUE(Finishes());
  const auto quiet = Clock::now() - last;
  EXPECT_GE(quiet, 450ms);
  EXPECT_LT(quiet, 1500ms);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAssumed);
  EXPECT_TRUE(m_host.ReadUntilClosed(1s));
}

TEST_F(Dialogue, AnAbortDuringTheDrainEndsItAtOnce) {
  m_setup.limits.drainQuiet = 60000ms;
  Start();
  LogIn();
  ASSERT_TRUE(m_host.Send("$ "));
  ASSERT_TRUE(m_host.ReadUntil("exit\n"));
  const auto aborted = Clock::now();
  m_session->Abort();
  ASSERT_TRUE(Finishes(10s));
  EXPECT_LT(Clock::now() - aborted, 1s);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAborted);
}

TEST_F(Dialogue, AnAbortWhileWaitingForAPromptEndsTheWorker) {
  m_setup.limits.readLimit = 60000ms;
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send(kBusyboxOpening));
  ASSERT_TRUE(m_host.ReadUntil(kBusyboxReplies));
  EXPECT_TRUE(m_session->HasOpenSocket());
  const auto aborted = Clock::now();
  m_session->Abort();
  ASSERT_TRUE(Finishes(10s));
  EXPECT_LT(Clock::now() - aborted, 1s);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAborted);
  EXPECT_FALSE(m_session->HasOpenSocket());
  EXPECT_TRUE(m_host.ReadUntilClosed(1s));
}

TEST_F(Dialogue, AHostThatClosesBeforeThePromptEndsTheSessionSilently) {
  Start();
  ASSERT_TRUE(m_host.Accept());
  ASSERT_TRUE(m_host.Send(kBusyboxOpening + "\r\n"));
  m_host.Close();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kHostStopped);
  EXPECT_TRUE(m_observer->Messages().empty());
}

class Connecting : public Dialogue {};

TEST_F(Connecting, ARefusedPortSaysCannotConnect) {
  const std::uint16_t closedPort = [] {
    ScriptedHost gone;
    return gone.Port();
  }();
  m_setup.port = closedPort;
  Start();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_observer->Messages(), std::vector{EndBox::kCannotConnect});
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kCannotConnect);
  EXPECT_FALSE(m_session->HasOpenSocket());
  EXPECT_EQ(m_observer->CloseRequests(), 1);
}

TEST_F(Connecting, AnUnresolvableNameSaysCannotConnect) {
  // A label longer than 63 bytes is refused by the resolver itself, so no
  // query leaves this machine.
  Start({.hostName = std::string(64, 'a') + ".invalid"});
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_observer->Messages(), std::vector{EndBox::kCannotConnect});
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kCannotConnect);
}

TEST_F(Connecting, AnAbortEndsAConnectThatHangs) {
  test::HangingListener listener;
  if (!listener.IsHanging()) GTEST_SKIP() << "this kernel does not hold back connects to a full backlog";
  m_setup.port = listener.Port();
  const auto clock = SkipWaits();
  // The user closes the form 3 s into the 10 s connect, in the clock's time.
  const auto aborted = clock->Now() + 3s;
  bool connecting = false;
  clock->At(aborted, [&] {
    connecting = m_session->HasOpenSocket();
    m_session->Abort();
  });
  Start();
  ASSERT_TRUE(Finishes(10s));
  EXPECT_TRUE(connecting);
  EXPECT_LT(clock->Now() - aborted, 1s);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAborted);
  EXPECT_TRUE(m_observer->Messages().empty()) << "no box for a connect the user stopped";
}

}  // namespace
}  // namespace dovrel
