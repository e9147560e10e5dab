// The system's socket table, where the terminal's X connection shows up.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "session/watch/x_connections.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

in_addr_t Address(const char* dotted) {
  in_addr address{};
  inet_pton(AF_INET, dotted, &address);
  return address.s_addr;
}

// Lines as /proc/net/tcp and tcp6 print them: Xvfb :1 at 10.200.0.1 with one
// terminal from 10.200.0.2, another in TIME-WAIT, and the form's own client.
const std::string kTable =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 0100C80A:1771 0200C80A:A1B2 01 00000000:00000000 00:00000000 00000000  1000        0 1\n"
    "   1: 0100C80A:1771 0200C80A:A1B3 06 00000000:00000000 00:00000000 00000000  1000        0 2\n"
    "   2: 0100007F:1771 0100007F:C000 01 00000000:00000000 00:00000000 00000000  1000        0 3\n"
    "   3: 0000000000000000FFFF00000100C80A:1771 0000000000000000FFFF00000200C80A:A1B4 01 0:0 0 0 0 4\n"
    "   4: 00000000000000000000000001000000:1771 00000000000000000000000001000000:C001 01 0:0 0 0 0 5\n";

TEST(SocketTable, KeepsEstablishedIPv4AndMappedConnections) {
  const auto table = ParseTcpTable(kTable);
  ASSERT_EQ(table.size(), 3U);
  EXPECT_EQ(table[0].localAddress, Address("10.200.0.1"));
  EXPECT_EQ(table[0].localPort, 6001);
  EXPECT_EQ(table[0].remoteAddress, Address("10.200.0.2"));
  EXPECT_EQ(table[0].remotePort, 0xA1B2);
  EXPECT_EQ(table[2].remoteAddress, Address("10.200.0.2")) << "::ffff:10.200.0.2";
}

TEST(SocketTable, ANewConnectionCountsOnceItHasLastedUnbroken) {
  const auto table = ParseTcpTable(kTable);
  const auto start = LastingConnection::Clock::now();
  // The connections already there when the watch began are not the terminal.
  LastingConnection old(Address("10.200.0.1"), 6001, table, 2000ms);
  EXPECT_FALSE(old.Update(table, start + 5s));

  LastingConnection watch(Address("10.200.0.1"), 6001, {}, 2000ms);
  EXPECT_FALSE(watch.Update(table, start));
  EXPECT_FALSE(watch.Update(table, start + 1999ms));
  EXPECT_FALSE(watch.Update({}, start + 2100ms)) << "refused and closed";
  EXPECT_FALSE(watch.Update(table, start + 2200ms)) << "back again: a new connection";
  EXPECT_TRUE(watch.Update(table, start + 4200ms));
  LastingConnection otherDisplay(Address("10.200.0.1"), 6002, {}, 2000ms);
  otherDisplay.Update(table, start);
  EXPECT_FALSE(otherDisplay.Update(table, start + 5s));
}

// Who listens where the terminal would connect: the address itself, and
// the wildcards of IPv4 and IPv6 (0.0.0.0, ::, ::ffff:address) count.
TEST(SocketTable, TellsWhoListensForTheDisplaysPort) {
  const std::string header =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
  const auto line = [](const char* local, const char* state, const char* uid) {
    return std::string("   0: ") + local + " 00000000:0000 " + state + " 00000000:00000000 00:00000000 00000000 " + uid +
           "        0 1\n";
  };
  const std::string v4 = "0100C80A:1777";  // 10.200.0.1:6007
  const std::string any4 = "00000000:1777";
  const std::string any6 = "00000000000000000000000000000000:1777";
  const std::string mapped = "0000000000000000FFFF00000100C80A:1777";
  struct Case {
    std::string table;
    std::optional<std::uint32_t> owner;
    const char* what;
  };
  const std::vector<Case> cases = {
      {header + line(v4.c_str(), "0A", "1000"), 1000, "the address itself"},
      {header + line(any4.c_str(), "0A", "65534"), 65534, "0.0.0.0"},
      {header + line(any6.c_str(), "0A", "0"), 0, "::"},
      {header + line(mapped.c_str(), "0A", "1000"), 1000, "::ffff:10.200.0.1"},
      {header + line("0200C80A:1777", "0A", "65534"), std::nullopt, "another address"},
      {header + line("0100C80A:1778", "0A", "65534"), std::nullopt, "another port"},
      {header + line(v4.c_str(), "01", "65534"), std::nullopt, "a connection, not a listener"},
      {header + line(v4.c_str(), "0A", "0") + line(any4.c_str(), "0A", "65534"), 65534,
       "root and another user both listen (SO_REUSEPORT): the other user decides"},
      {header + line(v4.c_str(), "0A", "junk"), std::nullopt, "an unreadable uid"},
      {"", std::nullopt, "an empty table"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListenerOwner(c.table, Address("10.200.0.1"), 6007), c.owner) << c.what;
  }
}

// The end that accepted the watch's own connection, read after connecting:
// only that socket's owner says whose server the cookie goes to.
TEST(SocketTable, TellsWhoAcceptedOurConnection) {
  const TcpConnection ours{Address("10.200.0.2"), 0xA1B2, Address("10.200.0.1"), 6001};
  const TcpConnection another{Address("10.200.0.2"), 0xA1B5, Address("10.200.0.1"), 6001};
  const TcpConnection mapped{Address("10.200.0.2"), 0xA1B4, Address("10.200.0.1"), 6001};
  const TcpConnection timeWait{Address("10.200.0.2"), 0xA1B3, Address("10.200.0.1"), 6001};
  EXPECT_EQ(AcceptingOwner(kTable, ours), 1000U);
  EXPECT_EQ(AcceptingOwner(kTable, mapped), 0U) << "::ffff:10.200.0.1 in tcp6";
  EXPECT_EQ(AcceptingOwner(kTable, another), std::nullopt) << "no such connection";
  EXPECT_EQ(AcceptingOwner(kTable, timeWait), std::nullopt) << "a closed connection is nobody's";
  const TcpConnection reversed{Address("10.200.0.1"), 6001, Address("10.200.0.2"), 0xA1B2};
  EXPECT_EQ(AcceptingOwner(kTable, reversed), std::nullopt) << "our own end is not the server's";
}

}  // namespace
}  // namespace dovrel
