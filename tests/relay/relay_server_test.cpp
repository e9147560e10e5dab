// The relay in this process: whom it lets in, what it passes on to the X
// server, what it holds, and when it ends.

#include <X11/Xauth.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <span>
#include <string_view>
#include <vector>

#include "common/net/local_socket.h"
#include "relay/relay_server.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kDisplay = 7;
// This user's cookie for the display, in the fixture's authority file.
const Bytes kUserCookie = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
// The launch's cookie, which the host's clients carry.
constexpr CookieBytes kLaunchCookie = {0xC0, 0x0C, 0x1E, 0x5A, 0x11, 0x22, 0x33, 0x44,
                                       0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC};

// A little-endian setup request: byte order, protocol 11.0, the lengths of
// the authorisation's name and data, then both padded to 4.
Bytes SetupRequest(std::string_view name, std::span<const std::uint8_t> data) {
  Bytes request = {'l', 0, 11, 0, 0, 0, static_cast<std::uint8_t>(name.size()), 0,
                   static_cast<std::uint8_t>(data.size()), 0, 0, 0};
  // Room for all of it first: GCC 12 warns falsely (-Warray-bounds) when the list-made vector grows.
  request.reserve(request.size() + name.size() + data.size() + 6);
  request.insert(request.end(), name.begin(), name.end());
  request.resize((request.size() + 3) & ~std::size_t{3}, 0);
  request.insert(request.end(), data.begin(), data.end());
  request.resize((request.size() + 3) & ~std::size_t{3}, 0);
  return request;
}
const Bytes kNoAuthorisation = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};

sockaddr_in Loopback(const char* address, std::uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  ::inet_pton(AF_INET, address, &out.sin_addr);
  return out;
}

// A TCP client of the relay, from `from` (any 127.x address).
UniqueFd Connect(const char* from, std::uint16_t port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in local = Loopback(from, 0);
  const sockaddr_in relay = Loopback("127.0.0.1", port);
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&relay), sizeof relay) != 0) {
    return {};
  }
  return socket;
}

bool SendAll(int fd, const Bytes& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t sent = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    at += static_cast<std::size_t>(sent);
  }
  return true;
}

// Reads `count` bytes, or what came before the end or 5 s of silence.
Bytes Receive(int fd, std::size_t count) {
  Bytes got;
  std::uint8_t buffer[65536];
  while (got.size() < count) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) break;
    const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - got.size()), 0);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

// True when the peer closed without sending a byte.
bool ClosedWithoutAByte(int fd) {
  pollfd ready{fd, POLLIN, 0};
  std::uint8_t byte = 0;
  return ::poll(&ready, 1, 5000) == 1 && ::recv(fd, &byte, 1, 0) <= 0;
}

// Time for the relay to have seen what a test did, on a busy machine.
constexpr std::chrono::milliseconds kMargin{200};

// The relay's life, shortened: the late grace and the reopen window.
RelayLimits ShortLife() {
  RelayLimits limits;
  limits.lateGrace = 1500ms;
  limits.reopenWindow = 400ms;
  return limits;
}

// A relay on a thread, serving an ephemeral port of 127.0.0.1 for 127.0.0.1
// alone, with a stand-in X server on a local socket of the test's own and a
// cookie file holding kCookie for the display.
class RelayFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/dovrel-relay-test-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    m_folder = folder;
    WriteCookie(m_folder + "/cookies");
    ::setenv("XAUTHORITY", (m_folder + "/cookies").c_str(), 1);
    // As the relay program does: a client gone mid-copy is an error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);

    m_xSocketPath = m_folder + "/X7";
    m_xServer.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un path{};
    path.sun_family = AF_UNIX;
    std::strncpy(path.sun_path, m_xSocketPath.c_str(), sizeof path.sun_path - 1);
    ASSERT_EQ(::bind(m_xServer.Get(), reinterpret_cast<const sockaddr*>(&path), sizeof path), 0);
    ASSERT_EQ(::listen(m_xServer.Get(), 8), 0);
  }

  void TearDown() override {
    m_control.Reset();
    m_clients.clear();
    if (m_thread.joinable()) m_thread.join();
    ::unlink(m_xSocketPath.c_str());
    ::unlink((m_folder + "/cookies").c_str());
    ::rmdir(m_folder.c_str());
  }

  void StartRelay(const RelayLimits& limits = ShortLife(), bool trustHost = false) {
    RelayConfig config;
    if (!trustHost) config.cookie = SecretCookie(kLaunchCookie);
    config.limits = limits;
    m_joinName = "dovrel-relay-test/" + std::to_string(::getpid()) + "/" + m_folder;
    config.joinListener = ListenAbstract(m_joinName);
    config.listener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback("127.0.0.1", 0);
    ASSERT_EQ(::bind(config.listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(config.listener.Get(), 8), 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(config.listener.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = ntohs(bound.sin_port);
    int control[2];
    ASSERT_EQ(::pipe2(control, O_CLOEXEC), 0);
    config.control.Reset(control[0]);
    m_control.Reset(control[1]);
    config.peer = Loopback("127.0.0.1", 0).sin_addr.s_addr;
    config.display = kDisplay;
    config.xSocket = m_xSocketPath;
    if (std::getenv("DOVREL_RELAY_TEST_REPORT") != nullptr) {
      config.report = [](const std::string& line) { std::fprintf(stderr, "relay: %s\n", line.c_str()); };
    }
    m_thread = std::thread([this, config = std::move(config)]() mutable {
      m_totals = RunRelay(std::move(config));
      m_ended = true;
    });
  }

  // The stand-in X server's side of the next relayed connection.
  UniqueFd AcceptAtServer(int waitMs = 5000) {
    pollfd ready{m_xServer.Get(), POLLIN, 0};
    if (::poll(&ready, 1, waitMs) != 1) return {};
    return UniqueFd(::accept4(m_xServer.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  }

  // Ends the session's hold and waits for the relay; true when it ended
  // within `limit`, and its port with it.
  bool RelayEnds(std::chrono::milliseconds limit) {
    m_control.Reset();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!m_ended && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    if (!m_ended) return false;
    m_thread.join();
    return !Connect("127.0.0.1", m_port);
  }

  static void WriteCookie(const std::string& file) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string number = std::to_string(kDisplay);
    std::string name = "MIT-MAGIC-COOKIE-1";
    Bytes data = kUserCookie;
    Xauth entry{};
    entry.family = FamilyLocal;
    entry.address_length = static_cast<unsigned short>(std::strlen(host));
    entry.address = host;
    entry.number_length = static_cast<unsigned short>(number.size());
    entry.number = number.data();
    entry.name_length = static_cast<unsigned short>(name.size());
    entry.name = name.data();
    entry.data_length = static_cast<unsigned short>(data.size());
    entry.data = reinterpret_cast<char*>(data.data());
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(XauWriteAuth(out, &entry), 1);
    std::fclose(out);
  }

  std::string m_folder;
  std::string m_joinName;
  std::string m_xSocketPath;
  UniqueFd m_xServer;
  UniqueFd m_control;
  std::uint16_t m_port = 0;
  std::vector<UniqueFd> m_clients;
  std::thread m_thread;
  RelayTotals m_totals;
  std::atomic<bool> m_ended{false};
};

// Who gets through: the host's address and, in its setup request, this
// launch's cookie. Anyone else is closed before the X server hears of them.
TEST_F(RelayFixture, AdmitsTheHostOnlyWithThisLaunchsCookieAndCopiesBothWays) {
  StartRelay();
  struct Refused {
    const char* from;
    Bytes setup;
    const char* what;
  };
  const CookieBytes wrong = {1, 2, 3};
  const std::vector<Refused> refused = {
      {"127.0.0.2", SetupRequest("MIT-MAGIC-COOKIE-1", kLaunchCookie), "another address, even with the cookie"},
      {"127.0.0.1", kNoAuthorisation, "no cookie"},
      {"127.0.0.1", SetupRequest("MIT-MAGIC-COOKIE-1", wrong), "a wrong cookie"},
      {"127.0.0.1", SetupRequest("MIT-MAGIC-COOKIE-1", kUserCookie), "this user's own cookie"},
      {"127.0.0.1", SetupRequest("XDM-AUTHORIZATION-1", kLaunchCookie), "the cookie's bytes under another name"},
      {"127.0.0.1", {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1'}, "not an X client"},
  };
  for (const Refused& r : refused) {
    UniqueFd client = Connect(r.from, m_port);
    ASSERT_TRUE(client) << r.what;
    SendAll(client.Get(), r.setup);
    EXPECT_TRUE(ClosedWithoutAByte(client.Get())) << r.what;
    EXPECT_FALSE(AcceptAtServer(50)) << r.what << ": no connection to the X server";
  }

  // The launch's cookie: the request reaches the X server with this user's
  // cookie in its place, followed by what was pipelined behind it.
  UniqueFd client = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(client);
  Bytes sent = SetupRequest("MIT-MAGIC-COOKIE-1", kLaunchCookie);
  sent.insert(sent.end(), {0xAA, 0xBB});
  ASSERT_TRUE(SendAll(client.Get(), sent));
  UniqueFd server = AcceptAtServer();
  ASSERT_TRUE(server);
  const Bytes wanted = {'l', 0, 11, 0, 0, 0, 18, 0, 16, 0, 0, 0,
                        'M', 'I', 'T', '-', 'M', 'A', 'G', 'I', 'C', '-', 'C', 'O', 'O', 'K', 'I', 'E', '-', '1', 0, 0,
                        0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8,
                        0xAA, 0xBB};
  EXPECT_EQ(Receive(server.Get(), wanted.size()), wanted);

  // Then both ways, byte for byte, a megabyte at a time.
  Bytes bulk(1 << 20);
  for (std::size_t i = 0; i < bulk.size(); ++i) bulk[i] = static_cast<std::uint8_t>(i * 7);
  std::thread up([&] { SendAll(client.Get(), bulk); });
  EXPECT_EQ(Receive(server.Get(), bulk.size()), bulk);
  up.join();
  std::thread down([&] { SendAll(server.Get(), bulk); });
  EXPECT_EQ(Receive(client.Get(), bulk.size()), bulk);
  down.join();

  // The launch is over, but the terminal's connection still lives: so does
  // the relay, and a program started from the terminal gets in.
  m_control.Reset();
  UniqueFd later = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(SendAll(later.Get(), SetupRequest("MIT-MAGIC-COOKIE-1", kLaunchCookie)));
  EXPECT_TRUE(AcceptAtServer()) << "a program started from the terminal still reaches the display";
  later.Reset();
  client.Reset();
  EXPECT_TRUE(ClosedWithoutAByte(server.Get())) << "the X server's side closes with the client's";
  ASSERT_TRUE(RelayEnds(3s));
  EXPECT_FALSE(Connect("127.0.0.1", m_port));
  EXPECT_EQ(m_totals.refused, 1U);
  EXPECT_EQ(m_totals.denied, 4U);
  EXPECT_EQ(m_totals.malformed, 1U);
  EXPECT_EQ(m_totals.accepted, 2U);
}

TEST_F(RelayFixture, WithTrustHostTheHostsAddressAloneAdmits) {
  StartRelay(ShortLife(), true);
  UniqueFd client = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(SendAll(client.Get(), kNoAuthorisation));
  EXPECT_TRUE(AcceptAtServer());
  UniqueFd stranger = Connect("127.0.0.2", m_port);
  EXPECT_TRUE(ClosedWithoutAByte(stranger.Get()));
}

// Idle connections cannot lock the terminal out: at the cap the oldest
// unfinished setup goes, and a silent one goes after the setup limit.
TEST_F(RelayFixture, IdleConnectionsAreBoundedAndTheOldestUnfinishedMakesRoom) {
  RelayLimits limits = ShortLife();
  limits.maxUnfinishedSetups = 2;
  limits.maxConnections = 3;
  limits.setupLimit = 300ms;
  StartRelay(limits);
  std::vector<UniqueFd> idle(3);
  for (UniqueFd& connection : idle) connection = Connect("127.0.0.1", m_port);
  EXPECT_TRUE(ClosedWithoutAByte(idle[0].Get())) << "the oldest unfinished setup made room";
  UniqueFd client = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(SendAll(client.Get(), SetupRequest("MIT-MAGIC-COOKIE-1", kLaunchCookie)));
  EXPECT_TRUE(AcceptAtServer()) << "a good client still gets through";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ClosedWithoutAByte(idle[2].Get()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms) << "the silent one went at its setup limit";
  client.Reset();
  ASSERT_TRUE(RelayEnds(3s));
  EXPECT_GE(m_totals.evicted, 1U);
}

// A later launch of this user joins with its own host and cookie; its host
// gets in with that cookie alone, and no more once that launch ends.
TEST_F(RelayFixture, AJoinedLaunchsHostGetsInWithItsCookieWhileThatLaunchLasts) {
  StartRelay();
  const CookieBytes joinedCookie = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 8, 7, 6, 5, 4};
  UniqueFd join = ConnectAbstract(m_joinName);
  ASSERT_TRUE(join);
  std::string request;
  AppendJoinLine("127.0.0.2", &joinedCookie, request);
  ASSERT_TRUE(SendAll(join.Get(), Bytes(request.begin(), request.end())));
  const Bytes ack = Receive(join.Get(), kRelayJoinAckCookie.size());
  EXPECT_EQ(std::string(ack.begin(), ack.end()), kRelayJoinAckCookie);

  UniqueFd firstCookie = Connect("127.0.0.2", m_port);
  ASSERT_TRUE(SendAll(firstCookie.Get(), SetupRequest("MIT-MAGIC-COOKIE-1", kLaunchCookie)));
  EXPECT_TRUE(ClosedWithoutAByte(firstCookie.Get())) << "each host with its own launch's cookie";
  // The first launch ends; the joined one still holds the relay.
  m_control.Reset();
  UniqueFd after = Connect("127.0.0.2", m_port);
  ASSERT_TRUE(SendAll(after.Get(), SetupRequest("MIT-MAGIC-COOKIE-1", joinedCookie)));
  ASSERT_TRUE(AcceptAtServer()) << "the joined launch's host is let in";
  // That launch ends and its terminal's connection closes: after the reopen
  // window its host is let in no more.
  join.Reset();
  after.Reset();
  std::this_thread::sleep_for(ShortLife().reopenWindow + kMargin);
  UniqueFd ended = Connect("127.0.0.2", m_port);
  ASSERT_TRUE(ended) << "the port is still the relay's";
  EXPECT_TRUE(ClosedWithoutAByte(ended.Get())) << "that launch is over: its host is let in no more";
  ASSERT_TRUE(RelayEnds(3s)) << "every launch over and the grace period past: the port closes";
  EXPECT_EQ(m_totals.joined, 1U);
}

// The relay keeps dovrel's rules on a join itself: what it does not take
// gets no answer and lets no one in; what it takes is answered with its mode.
TEST_F(RelayFixture, AJoinIsTakenOnlyByTheRulesAndAnsweredWithTheRelaysMode) {
  const CookieBytes cookie = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 8, 7, 6, 5, 4};
  struct Row {
    bool trustHostRelay;
    std::string line;
    std::string_view answer;  // empty: closed with none
    const char* what;
  };
  std::string withCookie;
  AppendJoinLine("127.0.0.2", &cookie, withCookie);
  for (const Row& row : {
           Row{false, "peer 10.254.254.1\n", {}, "no cookie into a relay of cookies"},
           Row{false, "peer 127.0.0.2 0011\n", {}, "a malformed cookie"},
           Row{false, "hello\n", {}, "not a request"},
           Row{false, withCookie, kRelayJoinAckCookie, "a launch's cookie"},
           Row{true, "peer 127.0.0.2\n", {}, "this machine by address"},
           Row{true, "peer 10.254.254.1\n", kRelayJoinAckAddress, "another host by address, into --trust-host"},
           Row{true, withCookie, kRelayJoinAckAddress, "a cookie into --trust-host: told the relay's mode"},
       }) {
    SCOPED_TRACE(row.what);
    m_ended = false;
    StartRelay(ShortLife(), row.trustHostRelay);
    UniqueFd join = ConnectAbstract(m_joinName);
    ASSERT_TRUE(join);
    ASSERT_TRUE(SendAll(join.Get(), Bytes(row.line.begin(), row.line.end())));
    if (row.answer.empty()) {
      EXPECT_TRUE(ClosedWithoutAByte(join.Get()));
    } else {
      const Bytes ack = Receive(join.Get(), row.answer.size());
      EXPECT_EQ(std::string(ack.begin(), ack.end()), row.answer);
    }
    if (row.answer.empty() && row.line.starts_with("peer 127.0.0.2")) {
      UniqueFd client = Connect("127.0.0.2", m_port);
      ASSERT_TRUE(SendAll(client.Get(), kNoAuthorisation));
      EXPECT_TRUE(ClosedWithoutAByte(client.Get())) << "the refused host is not let in";
    }
    join.Reset();
    ASSERT_TRUE(RelayEnds(3s));
    EXPECT_EQ(m_totals.joined, row.answer.empty() ? 0U : 1U);
  }
}

// One rule for the relay's life, whatever admits: a launch that ended before
// its terminal came still admits it for the late grace period; after the
// last admitted connection closes, for the reopen window only; and the port
// stays bound, refusing, until the grace period after that is over. Idle
// connections, one replaced by the next, extend none of it.
TEST_F(RelayFixture, TheRelaysLifeEndsWithItsTerminalsAndKeepsThePortUntilTheGraceIsOver) {
  for (const bool trustHost : {false, true}) {
    SCOPED_TRACE(trustHost ? "--trust-host" : "the launch's cookie");
    m_ended = false;
    StartRelay(ShortLife(), trustHost);
    const Bytes setup = trustHost ? kNoAuthorisation : SetupRequest("MIT-MAGIC-COOKIE-1", kLaunchCookie);
    const auto launchEnded = std::chrono::steady_clock::now();
    m_control.Reset();
    std::this_thread::sleep_for(ShortLife().reopenWindow + kMargin);
    UniqueFd late = Connect("127.0.0.1", m_port);
    ASSERT_TRUE(SendAll(late.Get(), setup));
    UniqueFd server = AcceptAtServer();
    EXPECT_TRUE(server) << "a terminal slower than the watch still comes up";
    late.Reset();
    server.Reset();
    // An idle connection, replaced every 100 ms, from the host.
    const auto closed = std::chrono::steady_clock::now();
    bool refusedAfterWindow = false;
    while (std::chrono::steady_clock::now() < closed + ShortLife().lateGrace - 3 * kMargin / 2) {
      UniqueFd idle = Connect("127.0.0.1", m_port);
      ASSERT_TRUE(idle) << "the port stays the relay's through the grace period";
      if (std::chrono::steady_clock::now() > closed + ShortLife().reopenWindow + kMargin && !refusedAfterWindow) {
        ASSERT_TRUE(SendAll(idle.Get(), setup));
        refusedAfterWindow = ClosedWithoutAByte(idle.Get());
        EXPECT_TRUE(refusedAfterWindow) << "past the reopen window nothing is admitted";
        EXPECT_FALSE(AcceptAtServer(50));
      }
      std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(refusedAfterWindow);
    ASSERT_TRUE(RelayEnds(2s)) << "the idle connections did not keep it";
    EXPECT_LT(std::chrono::steady_clock::now() - launchEnded, 5s);
  }
}

}  // namespace
}  // namespace dovrel
