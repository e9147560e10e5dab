// Reading the host's text: finding prompts, telling a shell prompt from a
// refused login, and the command line typed on the remote host.

#include <gtest/gtest.h>

#include <string>

#include "session/launch/terminal_program.h"
#include "session/login/login_dialogue.h"
#include "session/host_text/prompt_matcher.h"
#include "session/host_text/shell_readiness.h"

namespace dovrel {
namespace {

// The offset just past the first match, or -1.
long FirstMatchEnd(const std::string& prompt, const std::string& text) {
  PromptMatcher matcher(prompt);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (matcher.Feed(static_cast<unsigned char>(text[i]))) return static_cast<long>(i + 1);
  }
  return -1;
}

TEST(PromptMatcher, FindsThePromptWhereverItStarts) {
  EXPECT_EQ(FirstMatchEnd("login:", "login:"), 6);
  EXPECT_EQ(FirstMatchEnd("login:", "\r\r\nDebian 12\r\nhost login: "), 25);
  EXPECT_EQ(FirstMatchEnd("login:", "llogin:"), 7);
  EXPECT_EQ(FirstMatchEnd("login:", "lologin:"), 8);
  EXPECT_EQ(FirstMatchEnd("Password:", "PPassword:"), 10);
  // A prompt whose head repeats inside it needs the full fallback table.
  EXPECT_EQ(FirstMatchEnd("aab", "aaab"), 4);
}

TEST(PromptMatcher, DoesNotMatchAnotherCaseOrAPartialPrompt) {
  EXPECT_EQ(FirstMatchEnd("login:", "Login:"), -1);
  EXPECT_EQ(FirstMatchEnd("Password:", "password:"), -1);
  EXPECT_EQ(FirstMatchEnd("login:", "login"), -1);
  EXPECT_EQ(FirstMatchEnd("login:", "log in:"), -1);
}

TEST(PromptMatcher, MatchesAgainAfterAMatch) {
  PromptMatcher matcher("ab");
  int matches = 0;
  for (const char c : std::string("ababab")) matches += matcher.Feed(static_cast<unsigned char>(c));
  EXPECT_EQ(matches, 3);
}

ShellReadiness Read(const std::string& text) {
  ShellReadiness shell;
  for (const char c : text) shell.Feed(static_cast<unsigned char>(c));
  return shell;
}

struct ShellCase {
  const char* what;
  std::string text;
  bool prompt;
  bool failed;
};

void PrintTo(const ShellCase& c, std::ostream* os) { *os << c.what; }

class ShellText : public ::testing::TestWithParam<ShellCase> {};

TEST_P(ShellText, IsReadAsAPromptOrAFailedLogin) {
  const ShellCase& c = GetParam();
  const ShellReadiness shell = Read(c.text);
  EXPECT_EQ(shell.EndsInShellPrompt(), c.prompt) << c.what;
  EXPECT_EQ(shell.LoginFailed(), c.failed) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Shells, ShellText,
    ::testing::Values(
        ShellCase{"bash", "\r\nLinux host 6.1\r\nuser@host:~$ ", true, false},
        ShellCase{"dash", "$ ", true, false},
        ShellCase{"root", "root@host:~# ", true, false},
        ShellCase{"tcsh", "host:~> ", true, false},
        ShellCase{"zsh with bracketed paste and padding",
                  "%                                   \r \r\rhost% \x1b[K\x1b[?2004h",
                  true, false},
        ShellCase{"a prompt followed by NUL and CR", std::string("$ \0\r", 4), true, false},
        ShellCase{"a window title set by the prompt", "\x1b]0;user@host: ~\x07user@host:~$ ", true,
                  false},
        ShellCase{"a line of output is no prompt", "You have mail.\r\n", false, false},
        ShellCase{"a prompt character inside the text", "50% done\r\nworking", false, false},
        ShellCase{"Login incorrect", "\r\nLogin incorrect\r\n", false, true},
        ShellCase{"a new login prompt", "\r\nhost login: ", false, true},
        ShellCase{"themed bash ending in ❯", "\x1b[32muser\x1b[0m ~ \x1b[35m\xe2\x9d\xaf\x1b[0m ", true, false},
        ShellCase{"arrow, lambda, guillemet and right arrow",
                  "\xe2\x9e\x9c \r\n\xce\xbb \r\n\xc2\xbb \r\n~ \xe2\x86\x92 ", true, false},
        ShellCase{"half a ❯ is no prompt", "~ \xe2\x9d", false, false},
        // Captured from zsh 5.9 with RPROMPT='[%T]' under TERM=xterm-256color.
        ShellCase{"zsh with a right-hand prompt",
                  "\x1b[1m\x1b[7m#\x1b[27m\x1b[1m\x1b[0m          \r \r\r\x1b[0m\x1b[27m\x1b[24m\x1b[J"
                  "root@vm /tmp # \x1b[K\x1b[57C[23:48]\x1b[64D\x1b[?1h\x1b=\x1b[?2004h",
                  true, false},
        ShellCase{"text moved past is no prompt", "Loading\x1b[10C[ok]\x1b[14D", false, false},
        ShellCase{"a right-hand prompt still being drawn", "host % \x1b[57C[23:4", false, false},
        ShellCase{"Last login is followed by more text",
                  "Last login: Mon Dec  7 10:00:00 UTC 2026 from 10.0.0.1 on pts/0\r\n$ ", true,
                  false}));

TEST(ShellReadiness, CountsOnlyVisibleText) {
  EXPECT_FALSE(Read("\r\n\r\n  ").HasText());
  EXPECT_FALSE(Read("\x1b[?2004h").HasText());
  EXPECT_TRUE(Read("\r\nWelcome").HasText());
}

TEST(RemoteCommand, IsTheTerminalWithItsDisplayInTheBackground) {
  const std::string xterm = TerminalProgram::Chosen(true).ShellCommand("192.168.0.5", 1);
  EXPECT_EQ(xterm, "xterm -geometry 80x25+0+0 -display 192.168.0.5:1 &");
  EXPECT_EQ(TerminalProgram::Chosen(false).ShellCommand("10.200.0.1", 0),
            "kterm -geometry 80x25+0+0 -display 10.200.0.1:0 &");
  EXPECT_EQ(TerminalProgram::Chosen(false).ShellCommand("192.168.0.5", 9),
            "kterm -geometry 80x25+0+0 -display 192.168.0.5:9 &");
  EXPECT_NE(xterm.find(TerminalProgram::kGeometry), std::string::npos) << "the echo check looks for it";
  EXPECT_TRUE(IsTerminalClass(TerminalProgram::Chosen(false).windowClass));
  EXPECT_FALSE(IsTerminalClass("Xterm"));
}

}  // namespace
}  // namespace dovrel
