// Reading the host's words after the command line, and the socket table the
// terminal's X connection shows up in. The lines are real hosts' transcripts.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "host_text/host_text.h"
#include "host_text/launch_words.h"
#include "watch/x_connections.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

struct WordsCase {
  const char* what;
  std::string text;
  LaunchCause verdict;
  std::string line;  // the quoted line that decided
};

void PrintTo(const WordsCase& c, std::ostream* os) { *os << c.what; }

class HostWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(HostWords, AreReadAsTheLaunchsFate) {
  const WordsCase& c = GetParam();
  // Whole and byte by byte alike: a line split across reads is still one line.
  LaunchWords words("kterm");
  for (const char byte : c.text) words.Feed(static_cast<unsigned char>(byte));
  words.Paused();
  EXPECT_EQ(words.Verdict(), c.verdict);
  EXPECT_EQ(words.Line(), c.line);
}

const std::string kEcho = "kterm -geometry 80x25+0+0 -display 10.200.0.1:1 &\r\n";

INSTANTIATE_TEST_SUITE_P(
    Transcripts, HostWords,
    ::testing::Values(
        WordsCase{"bash", kEcho + "[1] 4242\r\n-bash: kterm: command not found\r\n",
                  LaunchCause::kProgramMissing, "-bash: kterm: command not found"},
        WordsCase{"dash", kEcho + "$ -sh: 1: kterm: not found\r\n", LaunchCause::kProgramMissing,
                  "$ -sh: 1: kterm: not found"},
        WordsCase{"zsh, coloured", kEcho + "\x1b[1mzsh: command not found: kterm\x1b[0m\r\n",
                  LaunchCause::kProgramMissing, "zsh: command not found: kterm"},
        WordsCase{"tcsh", kEcho + "kterm: Command not found.\r\n", LaunchCause::kProgramMissing,
                  "kterm: Command not found."},
        WordsCase{"fish", kEcho + "fish: Unknown command: kterm\r\n", LaunchCause::kProgramMissing,
                  "fish: Unknown command: kterm"},
        WordsCase{"ksh93", kEcho + "ksh: kterm: not found [No such file or directory]\r\n",
                  LaunchCause::kProgramMissing, "ksh: kterm: not found [No such file or directory]"},
        WordsCase{"not executable", kEcho + "-bash: /usr/local/bin/kterm: Permission denied\r\n",
                  LaunchCause::kProgramMissing, "-bash: /usr/local/bin/kterm: Permission denied"},
        WordsCase{"no cookie", kEcho + "Authorization required, but no authorization protocol specified\r\n"
                                       "kterm: Xt error: Can't open display: 10.200.0.1:1\r\n",
                  LaunchCause::kDisplayRefused, "Authorization required, but no authorization protocol specified"},
        WordsCase{"a wrong cookie, on one line with the next message",
                  kEcho + "Invalid MIT-MAGIC-COOKIE-1 keykterm: Xt error: Can't open display: 10.200.0.1:1\r\n",
                  LaunchCause::kDisplayRefused,
                  "Invalid MIT-MAGIC-COOKIE-1 keykterm: Xt error: Can't open display: 10.200.0.1:1"},
        WordsCase{"no route to the display", kEcho + "kterm: Xt error: Can't open display: 10.200.0.1:1\r\n",
                  LaunchCause::kDisplayFailed, "kterm: Xt error: Can't open display: 10.200.0.1:1"},
        WordsCase{"login failed after all", kEcho + "\r\nLogin incorrect\r\nvm login: ",
                  LaunchCause::kLoginIncorrect, "Login incorrect"},
        WordsCase{"a bare new login prompt", "\r\nvm login: ", LaunchCause::kLoginIncorrect, "vm login:"},
        WordsCase{"a started terminal", kEcho + "[1] 4242\r\nuser@vm:~$ ", LaunchCause::kUndecided, ""},
        WordsCase{"another program not found", kEcho + "-bash: fortune: command not found\r\n$ ",
                  LaunchCause::kUndecided, ""},
        WordsCase{"a sentence that says login:", "to login: use your staff account\r\n",
                  LaunchCause::kUndecided, ""},
        WordsCase{"a sentence cut short by a pause", "to login: use your staff", LaunchCause::kUndecided, ""}));

TEST(HostWords, QuoteAtMost200BytesAndNoCutCharacter) {
  EXPECT_EQ(QuoteHostText(std::string(300, 'a')).size(), 200U);
  std::string umlauts;
  for (int i = 0; i < 150; ++i) umlauts += "\xc3\xa4";  // ä
  EXPECT_EQ(QuoteHostText("x" + umlauts).size(), 199U);
  EXPECT_EQ(QuoteHostText("  a\tb\x07 "), "ab");
}

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

}  // namespace
}  // namespace dovrel
