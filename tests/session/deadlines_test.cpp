// Every wait keeps its limit: a host that acknowledges nothing, a window
// that comes meanwhile, a connect that never completes. On the clock that
// skips the waits.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

#include "session/launch/terminal_program.h"
#include "fake_display.h"
#include "hanging_listener.h"
#include "session/telnet_way/launch_watch.h"
#include "recording_observer.h"
#include "skipping_clock.h"
#include "socket_pair.h"
#include "worker_fixture.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

// The watch after a command line that the host never reads: on a socket
// pair, unread bytes are unacknowledged ones.
class UnacknowledgedCommand : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_pair.client && m_pair.host); }

  LaunchStop Watch() {
    TelnetChannel channel(m_pair.client.Get(), m_abort, m_limits, m_clock);
    const std::string command = TerminalProgram::Chosen(true).ShellCommand("127.0.0.1", 1);
    // Taken before the typing: the host's patience counts from inside it.
    m_typed = m_clock.Now();
    EXPECT_TRUE(channel.SendLine(command));
    const auto watch = m_display.Watch("127.0.0.1", 1, true, m_limits, m_abort);
    return LaunchWatch(channel, m_abort, m_clock, m_limits, m_reporter).Run(watch.get(), TerminalProgram::Chosen(true),
                                                                           command);
  }

  test::SocketPair m_pair;
  AbortSignal m_abort;
  Limits m_limits;
  test::SkippingClock m_clock;
  test::FakeDisplay m_display;
  test::RecordingObserver m_observer;
  Reporter m_reporter{m_observer, m_clock, false};
  std::chrono::steady_clock::time_point m_typed;
};

TEST_F(UnacknowledgedCommand, EndsTheWatchAsAHostThatIsGoneWhenItsPatienceRunsOut) {
  const LaunchStop verdict = Watch();
  EXPECT_EQ(verdict.cause, LaunchCause::kHostStopped) << "not a firewall on the display's port";
  EXPECT_GE(m_clock.Now() - m_typed, m_limits.ackLimit);
  EXPECT_LT(m_clock.Now() - m_typed, m_limits.ackLimit + 500ms);
}

TEST_F(UnacknowledgedCommand, StillSeesAWindowThatAppearsMeanwhile) {
  m_clock.At(m_clock.Now() + 1s, [this] { m_display.ShowTerminal(); });
  const LaunchStop verdict = Watch();
  EXPECT_EQ(verdict.cause, LaunchCause::kSeen);
  EXPECT_LT(m_clock.Now() - m_typed, m_limits.ackLimit);
}

class Connect : public test::WorkerFixture {};

TEST_F(Connect, ThatNeverCompletesEndsAtTheLimitWithTimedOut) {
  test::HangingListener listener;
  if (!listener.IsHanging()) GTEST_SKIP() << "this kernel does not hold back connects to a full backlog";
  const auto clock = SkipWaits();
  m_setup.limits = Limits{};
  m_setup.port = listener.Port();
  const auto started = clock->Now();
  Start();
  ASSERT_TRUE(Finishes());
  EXPECT_GE(clock->Now() - started, Limits{}.connectLimit);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kCannotConnect);
  EXPECT_EQ(m_observer->Messages(), std::vector{EndBox::kCannotConnect});
  EXPECT_NE(m_observer->Reports().find("Cannot Connect: 127.0.0.1 port " + std::to_string(listener.Port()) +
                                       ": timed out after 10 s"),
            std::string::npos)
      << m_observer->Reports();
}

// A host that sends a byte every 4 s never lets a read time out; the login
// as a whole still ends at its limit, counted from the connection.
class Login : public test::WorkerFixture {};

TEST_F(Login, ThatATrickleHoldsOpenEndsAtTheLoginLimit) {
  const auto clock = SkipWaits();
  m_setup.limits = Limits{};
  Start();
  ASSERT_TRUE(m_host.Accept());
  const auto connected = clock->Now();
  for (int tick = 1; tick <= 20; ++tick) {
    clock->At(connected + tick * 4s, [this] { m_host.Send("."); });
  }
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kHostStopped);
  EXPECT_GE(clock->Now() - connected, Limits{}.loginLimit);
  EXPECT_LT(clock->Now() - connected, Limits{}.loginLimit + Limits{}.readLimit);
  EXPECT_NE(m_observer->Reports().find("stopped waiting for the login prompt: the host did not get to the shell's "
                                       "prompt within 30 s of the connection"),
            std::string::npos)
      << m_observer->Reports();
}

}  // namespace
}  // namespace dovrel
