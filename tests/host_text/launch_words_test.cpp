// Reading the host's words after the command line, and the rules every step
// shares. The lines are real hosts' transcripts.

#include <gtest/gtest.h>

#include <string>

#include "session/host_text/host_text.h"
#include "session/host_text/launch_words.h"

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

struct RuleCase {
  const char* line;
  bool loginPrompt;
  bool loginIncorrect;
};

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
  EXPECT_EQ(QuoteHostText(std::string(300, '\xb8')).size(), 200U) << "stray continuation bytes: no empty quote";
  EXPECT_EQ(QuoteHostText("  a\tb\x07 "), "ab");
}

}  // namespace
}  // namespace dovrel
