// What ssh's error output and its askpass prompts mean, as OpenSSH 9 words
// them, and the command line it is given.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "session/ssh_way/askpass_prompt.h"
#include "session/ssh_way/ssh_arguments.h"
#include "session/ssh_way/ssh_words.h"

namespace dovrel {
namespace {

// ssh's own log of a password login that sent the command.
constexpr const char* kLoggedIn =
    "debug1: Connection established.\r\n"
    "debug1: Server host key: ssh-ed25519 SHA256:Tu066SBsO7DUJRGEEMwTKISV3qbPZvfiZ693XWG2g7E\r\n"
    "debug1: Authentications that can continue: publickey,password\r\n"
    "Authenticated to h ([10.0.0.2]:22) using \"password\".\r\n"
    "debug1: Sending command: kterm -geometry 80x25+0+0\r\n";
constexpr const char* kLoggingIn =
    "debug1: Connection established.\r\n"
    "debug1: Server host key: ssh-ed25519 SHA256:x\r\n"
    "debug1: Authentications that can continue: publickey,password\r\n";
// A banner that imitates ssh's own warning about a changed key.
constexpr const char* kFakeWarning =
    "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\r\n"
    "Offending ED25519 key in /home/u/.ssh/known_hosts:3\r\n"
    "Host key verification failed.\r\n"
    "u@h: Permission denied (publickey).\r\n";

TEST(SshWords, DecideEachCauseFromItsOwnSource) {
  struct Case {
    const char* name;
    std::string log;     // ssh's own (-E)
    std::string output;  // its standard error: the banner, then the remote command's
    int status;          // ssh's exit status
    LaunchCause verdict;
    const char* line;  // what the words quote, where it matters
  };
  const std::vector<Case> cases = {
      {"unknown name", "ssh: Could not resolve hostname nohost: Name or service not known\r\n", "", 255,
       LaunchCause::kUndecided, ""},
      {"refused login", std::string(kLoggingIn) + "u@h: Permission denied (publickey,password).\r\n", "", 255,
       LaunchCause::kLoginIncorrect, "u@h: Permission denied (publickey,password)."},
      {"unknown key refused", "debug1: Server host key: ssh-ed25519 SHA256:x\r\nHost key verification failed.\r\n", "",
       255, LaunchCause::kHostKeyUnknown, ""},
      {"changed key", std::string("debug1: Server host key: ssh-ed25519 SHA256:x\r\n") +
           "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\r\n"
           "Offending ED25519 key in /home/u/.ssh/known_hosts:3\r\n"
           "Offending ED25519 key in /home/u/.ssh/known_hosts:9\r\n"
           "Host key verification failed.\r\n",
       "", 255, LaunchCause::kHostKeyChanged, "Offending ED25519 key in /home/u/.ssh/known_hosts:3"},
      {"X11 refused", std::string(kLoggedIn) + "X11 forwarding request failed on channel 0\r\n",
       "xterm: Xt error: Can't open display: \r\n", 1, LaunchCause::kX11Refused, ""},
      {"no xauth there", std::string("debug1: Remote: No xauth program; cannot forward X11.\r\n") + kLoggedIn +
           "X11 forwarding request failed on channel 0\r\n", "", 1, LaunchCause::kNoRemoteXauth, ""},
      {"no SECURITY here", "Warning: untrusted X11 forwarding setup failed: xauth key data not generated\r\n", "", 0,
       LaunchCause::kNoSecurity, ""},
      // sshd refuses every forwarding to a session whose password must be
      // changed, and says so instead of running the command.
      {"password to change", std::string(kLoggedIn) + "X11 forwarding request failed on channel 0\r\n",
       "WARNING: Your password has expired.\nPassword change required but no TTY available.\n", 1,
       LaunchCause::kPasswordExpired, ""},
      {"terminal missing", kLoggedIn, "bash: line 1: kterm: command not found\n", 127, LaunchCause::kProgramMissing,
       "bash: line 1: kterm: command not found"},
      {"display not opened", kLoggedIn, "kterm: Xt error: Can't open display: localhost:10.0\n", 1,
       LaunchCause::kDisplayFailed, ""},
      // The host's words cannot be ssh's: a banner decides nothing, and the
      // remote command decides only what the terminal says of itself.
      {"banner imitating ssh", kLoggedIn, kFakeWarning, -1, LaunchCause::kUndecided, ""},
      {"remote refusals", kLoggedIn,
       std::string("Login incorrect\nPassword change required\n") + kFakeWarning, 1, LaunchCause::kUndecided, ""},
      {"hostile terminal words", kLoggedIn,
       "Password change required but no TTY available.\n\xc2\x9b" "31m\xe2\x80\xae\x1b]0;title\x07kterm: command "
       "not found\xe2\x80\xac\n",
       127, LaunchCause::kProgramMissing, ""},
      // Lines the host slips into ssh's log (a disconnect's or a debug
      // message's text) never stand last, nor before the key is checked.
      {"a disconnect's text", std::string(kLoggingIn) + "Received disconnect from h port 22:2: x\r\n" + kFakeWarning +
           "Disconnected from h port 22\r\n", "", 255, LaunchCause::kUndecided, ""},
      {"a debug message's text", std::string(kLoggingIn) + "debug1: Remote: x\r\n" +
           "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\r\nHost key verification failed.\r\n",
       "", 255, LaunchCause::kUndecided, ""},
  };
  for (const Case& c : cases) {
    SshWords words("kterm");
    // Byte by byte: a line split across reads reads the same.
    for (const char byte : c.log) words.FeedLog(std::string_view(&byte, 1));
    for (const char byte : c.output) words.FeedOutput(std::string_view(&byte, 1));
    words.Finish(c.status);
    EXPECT_EQ(words.Verdict(), c.verdict) << c.name;
    if (*c.line != '\0') {
      EXPECT_EQ(QuoteHostText(words.Said()), c.line) << c.name;
    }
    // What reaches a person carries no control of the host's.
    for (const char* control : {"\x1b", "\x07", "\xc2\x9b", "\xe2\x80\xae", "\xe2\x80\xac"}) {
      EXPECT_EQ(QuoteHostText(words.Said()).find(control), std::string::npos) << c.name;
    }
  }
}

TEST(SshWords, FollowHowFarSshGotAndNameEachLinesSource) {
  SshWords words("xterm");
  words.FeedLog("debug1: Connecting to h port 22.\r\ndebug1: Connection established.\r\n");
  EXPECT_TRUE(words.Connected());
  words.FeedLog("debug1: Server host key: ssh-ed25519 SHA256:x\r\n");
  EXPECT_TRUE(words.CheckingHostKey());
  words.FeedOutput("Welcome\x1b[2J\n");
  words.FeedLog("debug1: Authentications that can continue: password\r\n");
  EXPECT_FALSE(words.CheckingHostKey());
  EXPECT_FALSE(words.Authenticated());
  words.FeedLog(kLoggedIn);
  EXPECT_TRUE(words.Authenticated());
  EXPECT_TRUE(words.CommandSent());
  words.FeedLog("debug1: Exit status 127\r\nTransferred: sent 3372, received 3044 bytes\r");
  words.Finish(127);
  EXPECT_EQ(words.ExitStatus(), 127);
  std::vector<std::string> lines;
  words.ForEachNewLine([&](const std::string& line) { lines.push_back(line); });
  EXPECT_NE(std::find(lines.begin(), lines.end(), "host: Welcome\\x1b[2J"), lines.end());
  EXPECT_EQ(lines.back(), "ssh: Transferred: sent 3372, received 3044 bytes");
}

TEST(AskpassPrompt, TellsWhoAsksBeforeWhatIsAsked) {
  constexpr const char* kHostKeyQuestion =
      "The authenticity of host 'h.example (10.0.0.2)' can't be established.\n"
      "ED25519 key fingerprint is SHA256:Tu066SBsO7DUJRGEEMwTKISV3qbPZvfiZ693XWG2g7E.\n"
      "This key is not known by any other names.\n"
      "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";
  struct Case {
    std::string prompt;
    const char* hint;
    bool checkingHostKey;
    PromptKind kind;
  };
  const std::vector<Case> cases = {
      {"u@h.example's password: ", "", false, PromptKind::kPassword},
      {"(u@h.example) Password: ", "", false, PromptKind::kPassword},
      {"(u@h.example) パスワード: ", "", false, PromptKind::kPassword},
      // Another host or user: a ProxyJump hop, or a name the form did not give.
      {"u@jump.example's password: ", "", false, PromptKind::kOther},
      {"(u@jump.example) Password: ", "", false, PromptKind::kOther},
      {"(u@h.example) Verification code: ", "", false, PromptKind::kOther},
      {"(u@h.example) New password: ", "", false, PromptKind::kPasswordChange},
      {"Enter u@h.example's old password: ", "", false, PromptKind::kPasswordChange},
      {"Enter passphrase for key '/home/u/.ssh/id_ed25519': ", "", false, PromptKind::kPassphrase},
      {kHostKeyQuestion, "", true, PromptKind::kHostKey},
      {"Warning: the ED25519 host key for 'h.example' differs from the key for the IP address '10.0.0.2'\n"
       "Offending key for IP in /home/u/.ssh/known_hosts:4\n"
       "Are you sure you want to continue connecting (yes/no)? ",
       "", true, PromptKind::kHostKey},
      // The destination's prompt in ssh's words is still the destination's;
      // so is ssh's question asked while ssh is not checking a key.
      {std::string("(u@h.example) ") + kHostKeyQuestion, "", true, PromptKind::kOther},
      {kHostKeyQuestion, "", false, PromptKind::kOther},
      {"Allow use of key /home/u/.ssh/id_ed25519?\nKey fingerprint SHA256:x.\n(yes/no)? ", "confirm", true,
       PromptKind::kOther},
      {"Confirm user presence for key ED25519-SK SHA256:x", "none", false, PromptKind::kNotice},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyPrompt(c.prompt, {c.hint, "u", "h.example", c.checkingHostKey}), c.kind) << c.prompt;
  }
  // A HostKeyAlias names the host in every prompt.
  EXPECT_EQ(ClassifyPrompt("(u@alias) Password: ", {"", "u", "alias", false}), PromptKind::kPassword);
  EXPECT_EQ(QuoteHostText(HostWords("one\n\xe2\x80\xaetwo\x1b[31m\xc2\x9b\n\n")), "one / two[31m");
}

TEST(SshArguments, ForceWhatTheLaunchNeedsAndKeepTheHostADestination) {
  SshOptions options;
  options.hostName = "-oProxyCommand=evil";
  options.userName = "-l";
  options.remoteCommand = "xterm -geometry 80x25+0+0";
  options.logFile = "/run/user/1/dovrel/askpass-x/ssh.log";
  auto arguments = SshArguments(options, Limits{});
  const auto has = [](const std::vector<std::string>& all, const std::string& one) {
    return std::find(all.begin(), all.end(), one) != all.end();
  };
  EXPECT_TRUE(has(arguments, "-Y"));
  EXPECT_FALSE(has(arguments, "PasswordAuthentication=no"));
  // ssh's own log goes apart from the host's words on its standard error.
  const auto log = static_cast<std::size_t>(std::find(arguments.begin(), arguments.end(), "-E") - arguments.begin());
  ASSERT_LT(log + 1, arguments.size());
  EXPECT_EQ(arguments[log + 1], options.logFile);
  // The user name is -l's value, whatever it looks like; the host comes
  // after "--", then the command.
  const auto user = static_cast<std::size_t>(std::find(arguments.begin(), arguments.end(), "-l") - arguments.begin());
  ASSERT_LT(user + 1, arguments.size());
  EXPECT_EQ(arguments[user + 1], "-l");
  ASSERT_GE(arguments.size(), 3U);
  EXPECT_EQ(arguments[arguments.size() - 3], "--");
  EXPECT_EQ(arguments[arguments.size() - 2], options.hostName);
  EXPECT_EQ(arguments.back(), options.remoteCommand);

  options.untrusted = true;
  options.passwordOffered = false;
  options.askHostKeys = true;
  arguments = SshArguments(options, Limits{});
  // What the launch relies on is an option of ssh's, given before the host:
  // after "--" it would be part of the remote command, and ssh's
  // configuration could turn it off.
  const auto end = std::find(arguments.begin(), arguments.end(), "--");
  EXPECT_NE(std::find(arguments.begin(), end, "-X"), end);
  for (const char* forced : {"ForwardX11Trusted=no", "PasswordAuthentication=no", "KbdInteractiveAuthentication=no",
                             "StrictHostKeyChecking=ask"}) {
    const auto at = std::find(arguments.begin(), end, forced);
    ASSERT_NE(at, end) << forced;
    EXPECT_EQ(*(at - 1), "-o") << forced;
  }
  const auto config = SshConfigArguments(options);
  EXPECT_TRUE(has(config, "-G") && has(config, "StrictHostKeyChecking=ask"));
  EXPECT_EQ(config.back(), options.hostName);
}

TEST(SshConfig, ReadsWhatTheLaunchDecidesBy) {
  const SshConfig config = ReadSshConfig(
      "user u\nhostname real.example\nport 2222\nstricthostkeychecking false\nxauthlocation /opt/X/xauth\n"
      "hostkeyalias none\n");
  EXPECT_EQ(config.hostName, "real.example");
  EXPECT_EQ(config.strictHostKeyChecking, "false");
  EXPECT_EQ(config.xauthLocation, "/opt/X/xauth");
  EXPECT_EQ(config.user, "u");
  EXPECT_EQ(config.hostKeyAlias, "");
}

}  // namespace
}  // namespace dovrel
