// Reading the command line: a host name, then one-character switches.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/default_display.h"

namespace dovrel {
namespace {

struct Case {
  const char* tail;
  std::optional<CommandLine> expected;
};

std::optional<CommandLine> Valid(std::string host, int display, bool xterm, bool verbose = false,
                                 bool relay = true, bool trustHost = false, bool untrusted = false,
                                 bool ssh = false) {
  CommandLine line;
  line.target.hostName = std::move(host);
  line.target.display = display;
  line.target.xterm = xterm;
  line.options.verbose = verbose;
  line.options.relay = relay;
  line.options.trustHost = trustHost;
  line.options.untrusted = untrusted;
  line.options.ssh = ssh;
  return line;
}

void PrintTo(const Case& c, std::ostream* os) { *os << "[" << c.tail << "]"; }

class CommandLineRules : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineRules, ReadTheTailAsTheUserMeantIt) {
  const Case& c = GetParam();
  const auto parsed = ParseCommandLine(c.tail);
  ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << "[" << c.tail << "]";
  if (!parsed) return;
  EXPECT_EQ(parsed->target, c.expected->target) << "[" << c.tail << "]";
  EXPECT_EQ(parsed->options, c.expected->options) << "[" << c.tail << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, CommandLineRules,
    ::testing::Values(Case{"myhost", Valid("myhost", 0, false)},
                      Case{"myhost 3 x", Valid("myhost", 3, true)},
                      Case{"myhost x 3", Valid("myhost", 3, true)},
                      Case{"myhost 3 5", Valid("myhost", 5, false)},
                      Case{"myhost X", Valid("myhost", 0, true)},
                      Case{"myhost x x X 7", Valid("myhost", 7, true)},
                      Case{"myhost\t2\tx", Valid("myhost", 2, true)},
                      Case{"  \t myhost   \t 4  ", Valid("myhost", 4, false)},
                      Case{"\"myhost\"", Valid("\"myhost\"", 0, false)},
                      Case{"host.example-1_:weird 9", Valid("host.example-1_:weird", 9, false)},
                      Case{"-v myhost 3 x", Valid("myhost", 3, true, true)},
                      Case{"--verbose myhost", Valid("myhost", 0, false, true)},
                      Case{"--no-relay myhost 1", Valid("myhost", 1, false, false, false)},
                      Case{"--no-relay -v myhost x", Valid("myhost", 0, true, true, false)},
                      Case{"--trust-host myhost", Valid("myhost", 0, false, false, true, true)},
                      Case{"--untrusted -v --trust-host myhost 2",
                           Valid("myhost", 2, false, true, true, true, true)},
                      Case{"--ssh myhost 2 x", Valid("myhost", 2, true, false, true, false, false, true)},
                      Case{"-v --untrusted --ssh alias", Valid("alias", 0, false, true, true, false, true, true)}));

INSTANTIATE_TEST_SUITE_P(
    Refused, CommandLineRules,
    ::testing::Values(Case{"", std::nullopt}, Case{" \t ", std::nullopt},
                      Case{"myhost 12", std::nullopt}, Case{"myhost a", std::nullopt},
                      Case{"myhost :", std::nullopt}, Case{"myhost -1", std::nullopt},
                      Case{"myhost xx", std::nullopt}, Case{"myhost 3 y", std::nullopt},
                      Case{"-x myhost", std::nullopt}, Case{"--display 1", std::nullopt},
                      // -v comes first, once, and needs a host after it.
                      Case{"-v", std::nullopt}, Case{"-v -v myhost", std::nullopt},
                      Case{"--no-relay --no-relay myhost", std::nullopt}, Case{"myhost --no-relay", std::nullopt},
                      Case{"myhost -v", std::nullopt}, Case{"-V myhost", std::nullopt},
                      Case{"--trust-host --trust-host myhost", std::nullopt},
                      Case{"myhost --untrusted", std::nullopt},
                      // ssh forwards X itself: no relay to refuse, no host to trust.
                      Case{"--ssh --no-relay myhost", std::nullopt}, Case{"--trust-host --ssh myhost", std::nullopt},
                      Case{"--ssh --ssh myhost", std::nullopt}, Case{"--ssh -oProxyCommand=x myhost", std::nullopt},
                      // A quoted text with a blank is split; its last piece
                      // is an invalid switch.
                      Case{"\"my host\"", std::nullopt}));

// user@host: the last '@' ends the user name, which the form's limit bounds.
TEST(UserAtHost, NamesTheUserOrSaysWhatIsWrong) {
  struct At {
    const char* tail;
    const char* user;  // null: refused
    const char* hostOrProblem;
  };
  const std::vector<At> cases = {
      {"alice@myhost 2 x", "alice", "myhost"},
      {"--ssh a@b@host", "a@b", "host"},
      {"myhost", "", "myhost"},
      {"abcdefghijklmnopqrst@h", "abcdefghijklmnopqrst", "h"},
      {"\xc3\xa4" "bcdefghijklmnopqrs@h", "\xc3\xa4" "bcdefghijklmnopqrs", "h"},
      {"@myhost", nullptr, "the user name before '@' is empty"},
      {"alice@", nullptr, "the host name after '@' is empty"},
      {"abcdefghijklmnopqrstu@h", nullptr, "longer than 20 bytes"},
      {"\xc3\xa4" "bcdefghijklmnopqrst@h", nullptr, "longer than 20 bytes"},
  };
  for (const At& c : cases) {
    std::string problem;
    const auto line = ParseCommandLine(c.tail, &problem);
    ASSERT_EQ(line.has_value(), c.user != nullptr) << c.tail;
    if (line) {
      EXPECT_EQ(line->userName, c.user) << c.tail;
      EXPECT_EQ(line->target.hostName, c.hostOrProblem) << c.tail;
    } else {
      EXPECT_NE(problem.find(c.hostOrProblem), std::string::npos) << c.tail << ": " << problem;
    }
  }
}

TEST(CommandLineTail, JoinsTheArgumentsWithSingleBlanks) {
  const char* argv[] = {"dovrel", "my host", "1", "x"};
  EXPECT_EQ(JoinArguments(4, argv), "my host 1 x");
  EXPECT_EQ(JoinArguments(1, argv), "");
  EXPECT_FALSE(ParseCommandLine(JoinArguments(4, argv)).has_value());
}

TEST(InfoOptions, AreRecognisedOnlyAsTheFirstArgument) {
  const char* help[] = {"dovrel", "--help"};
  const char* shortHelp[] = {"dovrel", "-h", "myhost"};
  const char* version[] = {"dovrel", "--version"};
  const char* late[] = {"dovrel", "myhost", "--help"};
  EXPECT_EQ(FindInfoOption(2, help), InfoOption::kHelp);
  EXPECT_EQ(FindInfoOption(3, shortHelp), InfoOption::kHelp);
  EXPECT_EQ(FindInfoOption(2, version), InfoOption::kVersion);
  EXPECT_EQ(FindInfoOption(3, late), InfoOption::kNone);
  EXPECT_EQ(FindInfoOption(1, help), InfoOption::kNone);
}

// The usage line and the parser agree: every option the line offers is
// read, before the host name.
TEST(Usage, EveryOptionItOffersIsRead) {
  const std::string_view line = kUsageText.substr(0, kUsageText.find('\n'));
  ASSERT_TRUE(line.ends_with(" [user@]<HostName> [Screen] [x]")) << line;
  std::size_t options = 0;
  for (std::size_t at = line.find("[-"); at != std::string_view::npos; at = line.find("[-", at + 1)) {
    const std::string option(line.substr(at + 1, line.find(']', at) - at - 1));
    EXPECT_TRUE(ParseCommandLine(option + " myhost").has_value()) << option;
    ++options;
  }
  EXPECT_EQ(options, 4U) << line;
}

// With no Screen on the command line, the display the user sits at: the one
// $DISPLAY names, when it is one of this machine's.
TEST(DefaultDisplay, IsTheOneDisplayNamesOnThisMachine) {
  struct Named {
    const char* variable;  // null: unset
    int number;
  };
  const std::vector<Named> cases = {
      {":0", 0},     {":1", 1},        {":1.0", 1},       {"unix:2", 2},      {"unix:3.1", 3},
      {":10", 0},    {"localhost:10.0", 0}, {"otherhost:1", 0}, {"[::1]:0", 0}, {"", 0},
      {nullptr, 0},  {"garbage", 0},   {":1.", 0},        {":x", 0},          {"unix:", 0},
  };
  for (const Named& c : cases) {
    EXPECT_EQ(ChooseDefaultDisplay(c.variable, false, {4}).number, c.number) << (c.variable ? c.variable : "unset");
  }
  EXPECT_EQ(ChooseDefaultDisplay(":1", false, {}).source, "from $DISPLAY");
  // Under Wayland alone: the one X socket there is (Xwayland's), if one.
  EXPECT_EQ(ChooseDefaultDisplay(nullptr, true, {4}).number, 4);
  EXPECT_EQ(ChooseDefaultDisplay(nullptr, true, {0, 4}).number, 0);
  EXPECT_EQ(ChooseDefaultDisplay(nullptr, false, {4}).number, 0) << "no Wayland: no guessing";
  EXPECT_EQ(ChooseDefaultDisplay("localhost:10", true, {4}).number, 0) << "$DISPLAY set: it decides";
}

TEST(DefaultDisplay, AnExplicitScreenWins) {
  for (const char* tail : {"myhost 0", "myhost 7 x", "myhost x 0"}) {
    const auto line = ParseCommandLine(tail);
    ASSERT_TRUE(line) << tail;
    EXPECT_TRUE(line->displayGiven) << tail;
  }
  for (const char* tail : {"myhost", "myhost x", "-v myhost X"}) {
    const auto line = ParseCommandLine(tail);
    ASSERT_TRUE(line) << tail;
    EXPECT_FALSE(line->displayGiven) << tail;
  }
}

}  // namespace
}  // namespace dovrel
