// The option phase over a real socket pair: replies on the wire, the first
// data byte kept, the read limit, the host closing and the abort.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <string>

#include "common/net/abort_signal.h"
#include "scripted_host.h"
#include "skipping_clock.h"
#include "socket_pair.h"
#include "session/telnet/telnet_channel.h"
#include "common/net/unique_fd.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using Clock = std::chrono::steady_clock;

class OptionPhase : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_pair.client && m_pair.host); }

  void HostSends(const std::string& bytes) {
    ASSERT_EQ(::send(m_pair.host.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }

  // Everything the client has sent so far.
  std::string HostReceives() {
    std::string got;
    char buffer[512];
    pollfd fd{m_pair.host.Get(), POLLIN, 0};
    while (::poll(&fd, 1, 50) == 1) {
      const ssize_t n = ::recv(m_pair.host.Get(), buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

  TelnetChannel Channel(std::chrono::milliseconds readLimit = 1000ms, WaitClock& clock = SystemClock()) {
    Limits limits;
    limits.readLimit = readLimit;
    return TelnetChannel(m_pair.client.Get(), m_abort, limits, clock);
  }

  test::SocketPair m_pair;
  AbortSignal m_abort;
};

TEST_F(OptionPhase, RefusesEveryRequestAndKeepsTheFirstDataByte) {
  TelnetChannel channel = Channel();
  HostSends(Bytes({255, 253, 24, 255, 251, 1, 255, 252, 5, 255, 254, 32, 255, 253, 0}) + "login:");
  ASSERT_TRUE(RefuseTelnetOptions(channel));
  EXPECT_EQ(HostReceives(), Bytes({255, 252, 24, 255, 254, 1, 255, 251, 0}));
  // The "l" that ended the phase is the host's text.
  std::string text;
  for (int i = 0; i < 6; ++i) text.push_back(static_cast<char>(channel.ReadDataByte().byte));
  EXPECT_EQ(text, "login:");
}

TEST_F(OptionPhase, EndsAtOnceWhenTheHostBeginsWithData) {
  TelnetChannel channel = Channel();
  HostSends("x");
  ASSERT_TRUE(RefuseTelnetOptions(channel));
  EXPECT_EQ(HostReceives(), "");
  EXPECT_EQ(channel.ReadDataByte().byte, 'x');
}

TEST_F(OptionPhase, AnswersCommandsSentOneByteAtATime) {
  // Each byte comes 10 ms after the last, in the clock's time: every read
  // gets one.
  test::SkippingClock clock;
  TelnetChannel channel = Channel(1000ms, clock);
  const auto start = clock.Now();
  int at = 0;
  for (const char c : Bytes({255, 253, 31, 255, 250, 24, 1, 255, 240, 255, 255})) {
    clock.At(start + ++at * 10ms, [this, c] { HostSends(std::string(1, c)); });
  }
  ASSERT_TRUE(RefuseTelnetOptions(channel));
  EXPECT_EQ(HostReceives(), Bytes({255, 252, 31}));
  EXPECT_EQ(channel.ReadDataByte().byte, 255);  // IAC IAC: data, not a command
}

TEST_F(OptionPhase, AnswersRequestsThatArriveAmongTheText) {
  TelnetChannel channel = Channel();
  HostSends("\r\nhost " + Bytes({255, 251, 3, 255, 251, 1}) + "login: ");
  ASSERT_TRUE(RefuseTelnetOptions(channel));
  std::string text;
  for (int i = 0; i < 14; ++i) text.push_back(static_cast<char>(channel.ReadDataByte().byte));
  EXPECT_EQ(text, "\r\nhost login: ");
  // The answers go out at the latest before the client waits for more.
  EXPECT_EQ(channel.ReadDataByte(50ms, Clock::now() + 50ms).status, IoStatus::kTimedOut);
  EXPECT_EQ(HostReceives(), Bytes({255, 254, 3, 255, 254, 1}));
}

TEST_F(OptionPhase, FailsWhenTheHostStaysSilentForTheReadLimit) {
  TelnetChannel channel = Channel(200ms);
  HostSends(Bytes({255, 253}));  // a request cut short
  const auto start = Clock::now();
  EXPECT_FALSE(RefuseTelnetOptions(channel));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 190ms);
  EXPECT_LT(waited, 1500ms);
}

TEST_F(OptionPhase, FailsWhenTheHostCloses) {
  TelnetChannel channel = Channel();
  HostSends(Bytes({255, 253, 1}));
  m_pair.host.Reset();
  EXPECT_FALSE(RefuseTelnetOptions(channel));
}

TEST_F(OptionPhase, AnAbortEndsABlockedReadAtOnce) {
  test::SkippingClock clock;
  TelnetChannel channel = Channel(60000ms, clock);
  const auto aborted = clock.Now() + 1s;
  clock.At(aborted, [this] { m_abort.Trigger(); });
  EXPECT_EQ(channel.ReadDataByte().status, IoStatus::kAborted);
  EXPECT_LT(clock.Now() - aborted, 100ms) << "not at the 60 s limit";
}

TEST_F(OptionPhase, SendingToAClosedPeerFailsWithoutSigpipe) {
  TelnetChannel channel = Channel();
  m_pair.host.Reset();
  const unsigned char bytes[] = {'x'};
  // The process would die here if SIGPIPE were raised.
  EXPECT_FALSE(channel.SendLine(bytes) && channel.SendLine(bytes));
}

// On a socket pair, bytes the host has not read are bytes it has not
// acknowledged: a host that reads nothing is a host whose link is gone.
TEST_F(OptionPhase, AHostThatAcknowledgesNothingEndsTheWaitAtTheLimitCountedFromTheTyping) {
  test::SkippingClock clock;
  TelnetChannel channel = Channel(Limits{}.readLimit, clock);
  const unsigned char line[] = {'a', 'l', 'i', 'c', 'e'};
  const auto typed = clock.Now();
  ASSERT_TRUE(channel.SendLine(line));
  // Short waits do not renew the host's patience: each ends with its slice...
  for (int i = 0; i < 3; ++i) EXPECT_EQ(channel.ReadDataByte(50ms, clock.Now() + 50ms).status, IoStatus::kTimedOut);
  // ...and a long one ends when the patience, counted from the typing, does.
  EXPECT_EQ(channel.ReadDataByte().status, IoStatus::kUnacknowledged);
  EXPECT_GE(clock.Now() - typed, Limits{}.ackLimit);
  EXPECT_LT(clock.Now() - typed, Limits{}.ackLimit + 500ms);
  EXPECT_FALSE(channel.AllAcknowledged());
  // Once the host has it all, silence is counted again, from there.
  HostReceives();
  EXPECT_TRUE(channel.AllAcknowledged());
  const auto read = clock.Now();
  EXPECT_EQ(channel.ReadDataByte().status, IoStatus::kTimedOut);
  EXPECT_GE(clock.Now() - read, Limits{}.readLimit);
}

}  // namespace
}  // namespace dovrel
