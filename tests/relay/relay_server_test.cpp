// The relay in this process: whom it lets in, what it passes on to the X
// server, and when it ends.

#include <X11/Xauth.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/local_socket.h"
#include "relay/relay_server.h"
#include "relay/x11_setup.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kDisplay = 7;
const Bytes kCookie = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
// A little-endian setup request with no authorisation.
const Bytes kPlainSetup = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};

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

  void StartRelay(std::chrono::milliseconds setupLimit = 5s) {
    RelayConfig config;
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
    config.setupLimit = setupLimit;
    m_thread = std::thread([this, config = std::move(config)]() mutable { m_totals = RunRelay(std::move(config)); });
  }

  // The stand-in X server's side of the next relayed connection.
  UniqueFd AcceptAtServer() {
    pollfd ready{m_xServer.Get(), POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) return {};
    return UniqueFd(::accept4(m_xServer.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  }

  // Ends the session's hold and waits for the relay; true when it ended.
  bool RelayEnds(std::chrono::milliseconds limit) {
    m_control.Reset();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Connect("127.0.0.1", m_port)) {
        std::this_thread::sleep_for(10ms);
        continue;
      }
      m_thread.join();
      return true;
    }
    return false;
  }

  static void WriteCookie(const std::string& file) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string number = std::to_string(kDisplay);
    std::string name = "MIT-MAGIC-COOKIE-1";
    Bytes data = kCookie;
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
};

TEST_F(RelayFixture, LetsInTheHostAloneWithThisUsersCookieAndCopiesBothWays) {
  StartRelay();
  // Another address: closed at once, without a byte either way.
  UniqueFd stranger = Connect("127.0.0.2", m_port);
  ASSERT_TRUE(stranger);
  EXPECT_TRUE(ClosedWithoutAByte(stranger.Get()));

  // The host: its setup request reaches the X server with the cookie in it,
  // followed by what it pipelined behind it.
  UniqueFd client = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(client);
  Bytes sent = kPlainSetup;
  sent.insert(sent.end(), {0xAA, 0xBB});
  ASSERT_TRUE(SendAll(client.Get(), sent));
  UniqueFd server = AcceptAtServer();
  ASSERT_TRUE(server);
  X11SetupReader expected;
  std::size_t used = 0;
  ASSERT_EQ(expected.Feed(kPlainSetup, used), X11SetupReader::State::kComplete);
  const std::string name = "MIT-MAGIC-COOKIE-1";
  Bytes wanted = expected.WithAuthorisation({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}, kCookie);
  wanted.insert(wanted.end(), {0xAA, 0xBB});
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

  // Not an X client: closed.
  UniqueFd web = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(SendAll(web.Get(), {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1'}));
  EXPECT_TRUE(ClosedWithoutAByte(web.Get()));

  // The session is over, but the terminal's connection still lives: so does
  // the relay. Once it closes, the relay ends and its port with it.
  m_control.Reset();
  std::this_thread::sleep_for(100ms);
  UniqueFd later = Connect("127.0.0.1", m_port);
  EXPECT_TRUE(later) << "a program started from the terminal still reaches the display";
  later.Reset();
  client.Reset();
  EXPECT_TRUE(ClosedWithoutAByte(server.Get())) << "the X server's side closes with the client's";
  ASSERT_TRUE(RelayEnds(1s));
  EXPECT_FALSE(Connect("127.0.0.1", m_port));
  EXPECT_EQ(m_totals.refused, 1U);
  EXPECT_GE(m_totals.accepted, 3U);
  EXPECT_EQ(m_totals.malformed, 1U);
}

TEST_F(RelayFixture, AClientThatSendsNoSetupIsClosedAfterTheLimitAndNoClientMeansNoRelay) {
  StartRelay(200ms);
  UniqueFd silent = Connect("127.0.0.1", m_port);
  ASSERT_TRUE(silent);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ClosedWithoutAByte(silent.Get()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  ASSERT_TRUE(RelayEnds(1s)) << "the session over and nothing relayed: the port closes";
  EXPECT_EQ(m_totals.malformed, 1U);
}

TEST_F(RelayFixture, ALaterSessionOfThisUserHasItsHostLetInAndKeepsTheRelayWhileItLasts) {
  StartRelay();
  UniqueFd before = Connect("127.0.0.2", m_port);
  ASSERT_TRUE(before);
  EXPECT_TRUE(ClosedWithoutAByte(before.Get())) << "not let in before it joined";
  UniqueFd join = ConnectAbstract(m_joinName);
  ASSERT_TRUE(join);
  const std::string request = RelayJoinRequest("127.0.0.2");
  ASSERT_EQ(::send(join.Get(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  // The first session ends; the joined one still holds the relay.
  m_control.Reset();
  std::this_thread::sleep_for(100ms);
  UniqueFd after = Connect("127.0.0.2", m_port);
  ASSERT_TRUE(after);
  ASSERT_TRUE(SendAll(after.Get(), kPlainSetup));
  UniqueFd server = AcceptAtServer();
  ASSERT_TRUE(server) << "the joined session's host is let in";
  after.Reset();
  join.Reset();
  ASSERT_TRUE(RelayEnds(1s)) << "every session over and nothing relayed: the port closes";
  EXPECT_EQ(m_totals.joined, 1U);
  EXPECT_EQ(m_totals.refused, 1U);
}

}  // namespace
}  // namespace dovrel
