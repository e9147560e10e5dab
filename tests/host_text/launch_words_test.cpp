// Reading the host's words after the command line, and the rules every step
// shares. The lines are real hosts' transcripts.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "session/host_text/host_text.h"
#include "session/host_text/launch_words.h"
#include "session/host_text/visible_line.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

struct WordsCase {
  const char* what;
  std::string text;
  HostSays verdict;
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
  EXPECT_EQ(QuoteHostText(words.Said()), c.line);
}

const std::string kEcho = "kterm -geometry 80x25+0+0 -display 10.200.0.1:1 &\r\n";

INSTANTIATE_TEST_SUITE_P(
    Transcripts, HostWords,
    ::testing::Values(
        WordsCase{"bash", kEcho + "[1] 4242\r\n-bash: kterm: command not found\r\n",
                  HostSays::kProgramMissing, "-bash: kterm: command not found"},
        WordsCase{"dash", kEcho + "$ -sh: 1: kterm: not found\r\n", HostSays::kProgramMissing,
                  "$ -sh: 1: kterm: not found"},
        WordsCase{"zsh, coloured", kEcho + "\x1b[1mzsh: command not found: kterm\x1b[0m\r\n",
                  HostSays::kProgramMissing, "zsh: command not found: kterm"},
        WordsCase{"tcsh", kEcho + "kterm: Command not found.\r\n", HostSays::kProgramMissing,
                  "kterm: Command not found."},
        WordsCase{"fish", kEcho + "fish: Unknown command: kterm\r\n", HostSays::kProgramMissing,
                  "fish: Unknown command: kterm"},
        WordsCase{"ksh93", kEcho + "ksh: kterm: not found [No such file or directory]\r\n",
                  HostSays::kProgramMissing, "ksh: kterm: not found [No such file or directory]"},
        WordsCase{"not executable", kEcho + "-bash: /usr/local/bin/kterm: Permission denied\r\n",
                  HostSays::kProgramMissing, "-bash: /usr/local/bin/kterm: Permission denied"},
        WordsCase{"no cookie", kEcho + "Authorization required, but no authorization protocol specified\r\n"
                                       "kterm: Xt error: Can't open display: 10.200.0.1:1\r\n",
                  HostSays::kDisplayRefused, "Authorization required, but no authorization protocol specified"},
        WordsCase{"a wrong cookie, on one line with the next message",
                  kEcho + "Invalid MIT-MAGIC-COOKIE-1 keykterm: Xt error: Can't open display: 10.200.0.1:1\r\n",
                  HostSays::kDisplayRefused,
                  "Invalid MIT-MAGIC-COOKIE-1 keykterm: Xt error: Can't open display: 10.200.0.1:1"},
        WordsCase{"no route to the display", kEcho + "kterm: Xt error: Can't open display: 10.200.0.1:1\r\n",
                  HostSays::kDisplayFailed, "kterm: Xt error: Can't open display: 10.200.0.1:1"},
        WordsCase{"login failed after all", kEcho + "\r\nLogin incorrect\r\nvm login: ",
                  HostSays::kLoginIncorrect, "Login incorrect"},
        WordsCase{"a bare new login prompt", "\r\nvm login: ", HostSays::kLoginIncorrect, "vm login:"},
        WordsCase{"a started terminal", kEcho + "[1] 4242\r\nuser@vm:~$ ", HostSays::kNothing, ""},
        WordsCase{"another program not found", kEcho + "-bash: fortune: command not found\r\n$ ",
                  HostSays::kNothing, ""},
        WordsCase{"a sentence that says login:", "to login: use your staff account\r\n",
                  HostSays::kNothing, ""},
        WordsCase{"a sentence cut short by a pause", "to login: use your staff", HostSays::kNothing, ""}));

struct RuleCase {
  const char* line;
  bool loginPrompt;
  bool loginIncorrect;
};

// The one reader of the host's current line behind the launch's and xauth's
// words: colours and titles out, the line's head kept, the ended line held.
TEST(VisibleLineReader, KeepsTheShownHeadOfEachLine) {
  VisibleLine line;
  const auto feed = [&line](std::string_view bytes) {
    VisibleLine::Byte last = VisibleLine::Byte::kHidden;
    for (const char c : bytes) last = line.Feed(static_cast<unsigned char>(c));
    return last;
  };
  EXPECT_EQ(feed("\x1b]0;title\x07\x1b[31mxterm:\x1b[0m not\x01 found\r"), VisibleLine::Byte::kText);
  EXPECT_EQ(line.Current(), "xterm: not found");
  EXPECT_EQ(feed("\n"), VisibleLine::Byte::kLineEnd);
  EXPECT_EQ(line.Finished(), "xterm: not found");
  EXPECT_EQ(line.Current(), "") << "a new line begins empty";
  feed(std::string(VisibleLine::kLimit, 'a') + "Can't open display\n");
  EXPECT_EQ(line.Finished(), std::string(VisibleLine::kLimit, 'a')) << "its head, within the limit";
}

TEST(HostRules, OneRuleForTheLoginPromptAndOneForLoginIncorrect) {
  for (const RuleCase& c : {
           RuleCase{"login: ", true, false},
           RuleCase{"vm login:", true, false},
           RuleCase{"  vm login:  ", true, false},
           RuleCase{"Last login: Mon Dec  7 10:00:00", false, false},
           RuleCase{"NOTICE: to login: use your staff account", false, false},
           RuleCase{"vm Login:", false, false},
           RuleCase{"Login incorrect", false, true},
           RuleCase{"LOGIN INCORRECT", false, true},
           RuleCase{"\r\nlogin incorrect\r\n", false, true},
           RuleCase{"Login correct", false, false},
       }) {
    EXPECT_EQ(IsLoginPrompt(c.line), c.loginPrompt) << c.line;
    EXPECT_EQ(SaysLoginIncorrect(c.line), c.loginIncorrect) << c.line;
  }
}

TEST(HostWords, QuoteAtMost200BytesAndNoCutCharacter) {
  EXPECT_EQ(QuoteHostText(std::string(300, 'a')).size(), 200U);
  std::string umlauts;
  for (int i = 0; i < 150; ++i) umlauts += "\xc3\xa4";  // ä
  EXPECT_EQ(QuoteHostText("x" + umlauts).size(), 199U);
  EXPECT_EQ(QuoteHostText("x\xf0\x9f\x98\x80" + std::string(300, 'a')).substr(0, 5), "x\xf0\x9f\x98\x80");
  EXPECT_EQ(QuoteHostText(std::string(199, 'a') + "\xf0\x9f\x98\x80").size(), 199U) << "a 4-byte character";
  EXPECT_EQ(QuoteHostText("a" + std::string(300, '\xb8')), "a") << "stray continuation bytes are no characters";
}

// Whatever can move a terminal's cursor or reorder what a reader sees is
// dropped from a quote and escaped byte by byte on standard error, character
// by character in the locale's encoding (here the C locale: UTF-8).
TEST(HostWords, ControlCharactersOfEveryKindAreNeverShownAsTheyAre) {
  struct Row {
    std::string text, quoted, escaped;
  };
  for (const Row& row : {
           Row{"  a\tb\x07 ", "ab", "  a\\x09b\\x07 "},
           Row{"a\r\nb\\", "ab\\", "a\\r\\nb\\\\"},
           Row{"x\x1b]0;t\x07y", "x]0;ty", "x\\x1b]0;t\\x07y"},
           Row{"x\xc2\x9b" "2Jy", "x2Jy", "x\\xc2\\x9b2Jy"},         // C1 CSI
           Row{"x\xc2\x9d" "0;t\xc2\x9cy", "x0;ty", "x\\xc2\\x9d0;t\\xc2\\x9cy"},  // C1 OSC ... ST
           Row{"a\xe2\x80\xae" "evil", "aevil", "a\\xe2\\x80\\xaeevil"},  // right-to-left override
           Row{"a\xe2\x81\xa6" "b\xe2\x81\xa9", "ab", "a\\xe2\\x81\\xa6b\\xe2\\x81\\xa9"},  // an isolate
           Row{"a\xe2\x80\x8f" "b\xe2\x80\xa8" "c", "abc", "a\\xe2\\x80\\x8fb\\xe2\\x80\\xa8" "c"},  // RLM, LS
           Row{"a\x9b" "b", "ab", "a\\x9bb"},  // a raw 0x9B is no character of UTF-8
           // Japanese and accented letters come through unchanged.
           Row{"\xe3\x81\x93\xe3\x82\x93 \xc3\xa4", "\xe3\x81\x93\xe3\x82\x93 \xc3\xa4",
               "\xe3\x81\x93\xe3\x82\x93 \xc3\xa4"},
       }) {
    EXPECT_EQ(QuoteHostText(row.text), row.quoted) << EscapeHostText(row.text);
    EXPECT_EQ(EscapeHostText(row.text), row.escaped);
  }
}

// In an 8-bit or double-byte locale the host's text is read in its encoding:
// EUC-JP's Japanese stays, its lone 0x9B and Latin-1's 0x9B (CSI) do not.
TEST(HostWords, ControlsAreToldInTheLocalesOwnEncoding) {
  struct Row {
    const char* locale;
    std::string text, quoted, escaped;
  };
  for (const Row& row : {
           Row{"ja_JP.eucJP", "\xa4\xb3\xa4\xf3 a\x9b" "b", "\xa4\xb3\xa4\xf3 ab",
               "\xa4\xb3\xa4\xf3 a\\x9bb"},
           Row{"en_US.ISO-8859-1", "caf\xe9\x9b" "2J", "caf\xe9" "2J", "caf\xe9\\x9b2J"},
       }) {
    if (std::setlocale(LC_CTYPE, row.locale) == nullptr) {
      std::setlocale(LC_CTYPE, "C");
      GTEST_SKIP() << "locale " << row.locale << " is not installed (scripts/test generates it)";
    }
    EXPECT_EQ(QuoteHostText(row.text), row.quoted) << row.locale;
    EXPECT_EQ(EscapeHostText(row.text), row.escaped) << row.locale;
  }
  std::setlocale(LC_CTYPE, "C");
}

}  // namespace
}  // namespace dovrel
