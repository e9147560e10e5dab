// Hosts that misbehave, on purpose or by breaking: every case ends in bounded
// time and memory, without a crash, with the outcome the user is told.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "session/launcher_session.h"
#include "recording_observer.h"
#include "scripted_host.h"
#include "session/session_thread.h"
#include "worker_fixture.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::RecordingObserver;
using test::ScriptedHost;
using Clock = std::chrono::steady_clock;

// Resident memory of this process, in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

// Sends `chunk` `times` times from a thread of its own, so the test can read
// the client's replies meanwhile. Ends when all is sent, or when the client
// has not taken anything for 10 s.
class Flood {
 public:
  Flood(int fd, std::string chunk, int times)
      : m_thread([fd, chunk = std::move(chunk), times] {
          const timeval patience{10, 0};
          ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
          for (int i = 0; i < times; ++i) {
            std::string_view rest = chunk;
            while (!rest.empty()) {
              const ssize_t sent = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
              if (sent <= 0) return;
              rest.remove_prefix(static_cast<std::size_t>(sent));
            }
          }
        }) {}
  ~Flood() { m_thread.join(); }
  Flood(const Flood&) = delete;
  Flood& operator=(const Flood&) = delete;

 private:
  std::thread m_thread;
};

class HostileHost : public test::WorkerFixture {
 protected:
  // A flood of megabytes takes a sanitizer build on a loaded machine longer
  // than the login's own limit, which has rows of its own: here it would end
  // the login before the flood is read.
  HostileHost() { m_setup.limits.loginLimit = std::chrono::minutes(10); }

  void Start() {
    WorkerFixture::Start({.display = 0});
    ASSERT_TRUE(m_host.Accept());
  }
};

TEST_F(HostileHost, EndlessTextBeforeThePromptCostsNoMemory) {
  Start();
  const long before = ResidentKiB();
  {
    Flood flood(m_host.ClientFd(), std::string(std::size_t{64} * 1024, 'x'), 512);  // 32 MiB
  }
  ASSERT_TRUE(m_host.Send("login: "));
  ASSERT_TRUE(m_host.ReadUntil("alice\n", 10s));
  EXPECT_LT(ResidentKiB() - before, 8 * 1024) << "memory grew with what the host sent";
}

TEST_F(HostileHost, AMillionOptionRequestsGetOneReplyPerWillOrDoAndNoneToWontOrDont) {
  Start();
  constexpr int kRounds = 250'000;
  {
    Flood flood(m_host.ClientFd(), Bytes({255, 253, 24, 255, 251, 3, 255, 252, 5, 255, 254, 32}), kRounds);
    std::string wanted;
    for (int i = 0; i < kRounds; ++i) wanted += Bytes({255, 252, 24, 255, 254, 3});
    EXPECT_TRUE(m_host.ReadAtLeast(wanted.size(), 60s));
    m_host.ReadFor(200ms);
    EXPECT_EQ(m_host.Received().size(), wanted.size());
    EXPECT_TRUE(m_host.Received() == wanted) << "a WONT x to each DO x, a DONT y to each WILL y, in order";
  }
  ASSERT_TRUE(m_host.Send("login: "));
  EXPECT_TRUE(m_host.ReadUntil("alice\n"));
}

TEST_F(HostileHost, ASubnegotiationOfMegabytesIsSkippedAndTheLoginGoesOn) {
  Start();
  const long before = ResidentKiB();
  ASSERT_TRUE(m_host.Send(Bytes({255, 250, 24})));
  {
    Flood flood(m_host.ClientFd(), std::string(std::size_t{64} * 1024, 'y'), 160);  // 10 MiB
  }
  ASSERT_TRUE(m_host.Send(Bytes({255, 240}) + "login: "));
  ASSERT_TRUE(m_host.ReadUntil("alice\n", 10s));
  EXPECT_LT(ResidentKiB() - before, 8 * 1024);
}

TEST_F(HostileHost, ASubnegotiationThatNeverEndsEndsTheSessionAfterTheReadLimit) {
  Start();
  ASSERT_TRUE(m_host.Send(Bytes({255, 250, 24}) + "login: Password: $ "));
  ASSERT_TRUE(m_thread->WaitFor(5s));
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kHostStopped);
  EXPECT_EQ(m_host.Received(), "") << "the prompt inside the sub-negotiation is no prompt";
}

TEST_F(HostileHost, AHostThatTricklesBelowTheLimitIsStillStoppedByTheForm) {
  // In the clock's time: the host takes the connection and sends one byte
  // every 0.8 of the read limit; then the user closes the form.
  const auto clock = SkipWaits();
  const auto start = clock->Now() + 100ms;
  int sent = 0;
  clock->At(start, [&] { ASSERT_TRUE(m_host.Accept()); });
  for (int i = 0; i < 6; ++i) {
    clock->At(start + i * 800ms, [&] { sent += m_host.Send(".") ? 1 : 0; });
  }
  const auto aborted = start + 5 * 800ms + 500ms;
  clock->At(aborted, [&] { m_session->Abort(); });
  WorkerFixture::Start({.display = 0});
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(sent, 6);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAborted) << "no byte waited longer than the limit";
  EXPECT_LT(clock->Now() - aborted, 500ms) << "the form's stop ends it at once";
}

TEST_F(HostileHost, AHalfCloseEndsTheSessionAndTheClientCloses) {
  Start();
  ASSERT_TRUE(m_host.Send("\r\nhost log"));
  m_host.ShutdownSending();
  ASSERT_TRUE(m_thread->WaitFor(5s));
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kHostStopped);
  EXPECT_TRUE(m_host.ReadUntilClosed(2s));
}

TEST_F(HostileHost, OddBytesAroundThePromptDoNotHideIt) {
  Start();
  ASSERT_TRUE(m_host.Send(std::string("\0\x80\xfe\r\r\xff\xff login:", 14)));
  ASSERT_TRUE(m_host.ReadUntil("alice\n"));
  ASSERT_TRUE(m_host.Send(std::string(10000, '\r') + "Password:"));
  EXPECT_TRUE(m_host.ReadUntil("secret\n"));
}

// The host resets the connection at each point of the dialogue.
class ResetIn : public HostileHost, public ::testing::WithParamInterface<int> {};

TEST_P(ResetIn, EndsTheSessionWithoutAMessage) {
  const auto clock = SkipWaits();
  m_setup.limits.drainQuiet = 5000ms;
  Start();
  const int phase = GetParam();
  const char* steps[] = {"login: ", "Password: ", "$ "};
  const char* answers[] = {"alice\n", "secret\n", "exit\n"};
  for (int i = 0; i < phase; ++i) {
    ASSERT_TRUE(m_host.Send(steps[i]));
    ASSERT_TRUE(m_host.ReadUntil(answers[i]));
  }
  // The reset comes once the client waits in the phase (a reset that beats
  // the connect's completion reads as a failed connect).
  clock->At(clock->Now() + 100ms, [&] { m_host.Reset(); });
  ASSERT_TRUE(m_thread->WaitFor(5s));
  EXPECT_TRUE(m_observer->Messages().empty());
  // Only a reset during the drain comes after the terminal was launched.
  EXPECT_EQ(m_session->Outcome(), phase == 3 ? LaunchCause::kAssumed : LaunchCause::kHostStopped);
  EXPECT_FALSE(m_session->HasOpenSocket());
}

std::string PhaseName(const ::testing::TestParamInfo<int>& phase) {
  static const char* const kNames[] = {"WaitingForLogin", "WaitingForPassword", "WaitingForTheShell",
                                       "Draining"};
  return kNames[phase.param];
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, ResetIn, ::testing::Values(0, 1, 2, 3), PhaseName);

}  // namespace
}  // namespace dovrel
