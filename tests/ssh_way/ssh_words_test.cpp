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

constexpr const char* kLoggedIn =
    "debug1: Connection established.\r\n"
    "Authenticated to h ([10.0.0.2]:22) using \"password\".\r\n"
    "debug1: Sending command: xterm -geometry 80x25+0+0\r\n";

TEST(SshWords, TellWhyNoTerminalComes) {
  struct Case {
    std::string said;
    LaunchCause verdict;
    const char* line;  // the deciding line, where it matters
  };
  const std::vector<Case> cases = {
      {"ssh: Could not resolve hostname nohost: Name or service not known\r\n", LaunchCause::kCannotConnect, ""},
      {"debug1: Connecting to h port 22.\r\nssh: connect to host h port 22: Connection refused\r\n",
       LaunchCause::kCannotConnect, ""},
      {"debug1: Connection established.\r\nkex_exchange_identification: Connection closed by remote host\r\n",
       LaunchCause::kCannotConnect, ""},
      {"debug1: Connection established.\r\nu@h: Permission denied (publickey,password).\r\n",
       LaunchCause::kLoginIncorrect, ""},
      {"Host key verification failed.\r\n", LaunchCause::kHostKeyUnknown, ""},
      {"@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\r\n"
       "Offending ED25519 key in /home/u/.ssh/known_hosts:3\r\n"
       "Offending ED25519 key in /home/u/.ssh/known_hosts:9\r\n"
       "Host key verification failed.\r\n",
       LaunchCause::kHostKeyChanged, "Offending ED25519 key in /home/u/.ssh/known_hosts:3"},
      {std::string(kLoggedIn) + "X11 forwarding request failed on channel 0\r\n", LaunchCause::kX11Refused, ""},
      {std::string("debug1: Remote: No xauth program; cannot forward X11.\r\n") + kLoggedIn +
           "X11 forwarding request failed on channel 0\r\n",
       LaunchCause::kNoRemoteXauth, ""},
      {"Warning: untrusted X11 forwarding setup failed: xauth key data not generated\r\n", LaunchCause::kNoSecurity,
       ""},
      {std::string(kLoggedIn) + "Password change required but no TTY available.\r\n",
       LaunchCause::kPasswordExpired, ""},
      {std::string(kLoggedIn) + "bash: line 1: kterm: command not found\r\n", LaunchCause::kProgramMissing, ""},
      {std::string(kLoggedIn) + "sh: 1: kterm: not found\r\n", LaunchCause::kProgramMissing, ""},
      {std::string(kLoggedIn) + "xterm: Xt error: Can't open display: localhost:10.0\r\n",
       LaunchCause::kDisplayFailed, ""},
      // The host's words after the command are the remote command's: a
      // refusal it prints is not ssh's.
      {std::string(kLoggedIn) + "u@h: Permission denied (publickey).\r\n", LaunchCause::kUndecided, ""},
      {std::string(kLoggedIn) + "Warning: No xauth data; using fake authentication data\r\n",
       LaunchCause::kUndecided, ""},
  };
  for (const Case& c : cases) {
    SshWords words("kterm");
    // Byte by byte: a line split across reads reads the same.
    for (const char byte : c.said) words.Feed(std::string_view(&byte, 1));
    words.Finish();
    EXPECT_EQ(words.Verdict(), c.verdict) << c.said;
    if (*c.line != '\0') {
      EXPECT_EQ(words.Line(), c.line) << c.said;
    }
  }
}

TEST(SshWords, FollowHowFarSshGot) {
  SshWords words("xterm");
  words.Feed("debug1: Connecting to h port 22.\r\n");
  EXPECT_FALSE(words.Connected());
  words.Feed(kLoggedIn);
  EXPECT_TRUE(words.Connected());
  EXPECT_TRUE(words.Authenticated());
  EXPECT_TRUE(words.CommandSent());
  words.Feed("debug1: Exit status 127\r\nTransferred: sent 3372, received 3044 bytes\r");
  words.Finish();
  EXPECT_EQ(words.ExitStatus(), 127);
  std::vector<std::string> lines;
  words.ForEachNewLine([&](const std::string& line) { lines.push_back(line); });
  ASSERT_EQ(lines.size(), 6U);
  EXPECT_EQ(lines.back(), "Transferred: sent 3372, received 3044 bytes");
}

TEST(AskpassPrompt, TellsTheFormsPasswordFromEveryOtherQuestion) {
  struct Case {
    const char* prompt;
    const char* hint;
    PromptKind kind;
  };
  const std::vector<Case> cases = {
      {"u@h.example's password: ", "", PromptKind::kPassword},
      {"(u@h.example) Password: ", "", PromptKind::kPassword},
      {"(u@h.example) Passwort: ", "", PromptKind::kPassword},
      {"(u@h.example) パスワード: ", "", PromptKind::kPassword},
      // Another host or user: a ProxyJump hop, or a name the form did not give.
      {"u@jump.example's password: ", "", PromptKind::kOther},
      {"root@h.example's password: ", "", PromptKind::kOther},
      {"(u@jump.example) Password: ", "", PromptKind::kOther},
      {"(u@h.example) Verification code: ", "", PromptKind::kOther},
      {"(u@h.example) New password: ", "", PromptKind::kPasswordChange},
      {"(u@h.example) Current password: ", "", PromptKind::kPasswordChange},
      {"Enter u@h.example's old password: ", "", PromptKind::kPasswordChange},
      {"Enter passphrase for key '/home/u/.ssh/id_ed25519': ", "", PromptKind::kPassphrase},
      {"Enter PIN for ED25519-SK key /home/u/.ssh/id_ed25519_sk: ", "", PromptKind::kPassphrase},
      {"The authenticity of host 'h.example (10.0.0.2)' can't be established.\n"
       "ED25519 key fingerprint is SHA256:Tu066SBsO7DUJRGEEMwTKISV3qbPZvfiZ693XWG2g7E.\n"
       "This key is not known by any other names.\n"
       "Are you sure you want to continue connecting (yes/no/[fingerprint])? ",
       "", PromptKind::kHostKey},
      {"Warning: the ED25519 host key for 'h.example' differs from the key for the IP address '10.0.0.2'\n"
       "Offending key for IP in /home/u/.ssh/known_hosts:4\n"
       "Are you sure you want to continue connecting (yes/no)? ",
       "", PromptKind::kHostKey},
      {"Allow use of key /home/u/.ssh/id_ed25519?\nKey fingerprint SHA256:x.\n(yes/no)? ", "confirm",
       PromptKind::kOther},
      {"Confirm user presence for key ED25519-SK SHA256:x", "none", PromptKind::kNotice},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyPrompt(c.prompt, c.hint, "u", "h.example"), c.kind) << c.prompt;
  }
  EXPECT_EQ(PromptLine("one\ntwo\x1b[31m\n"), "one / two[31m");
}

TEST(SshArguments, ForceWhatTheLaunchNeedsAndKeepTheHostADestination) {
  SshOptions options;
  options.hostName = "-oProxyCommand=evil";
  options.userName = "-l";
  options.remoteCommand = "xterm -geometry 80x25+0+0";
  const auto has = [](const std::vector<std::string>& all, const std::string& one) {
    return std::find(all.begin(), all.end(), one) != all.end();
  };
  auto arguments = SshArguments(options, Limits{});
  for (const char* forced : {"ControlMaster=no", "ControlPath=none", "RemoteCommand=none", "ClearAllForwardings=yes",
                             "ForkAfterAuthentication=no", "BatchMode=no", "NumberOfPasswordPrompts=1",
                             "UpdateHostKeys=no", "LogLevel=DEBUG1", "ServerAliveInterval=15"}) {
    EXPECT_TRUE(has(arguments, forced)) << forced;
  }
  EXPECT_TRUE(has(arguments, "-Y"));
  EXPECT_FALSE(has(arguments, "PasswordAuthentication=no"));
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
  for (const char* forced : {"-X", "ForwardX11Trusted=no", "PasswordAuthentication=no",
                             "KbdInteractiveAuthentication=no", "StrictHostKeyChecking=ask"}) {
    EXPECT_TRUE(has(arguments, forced)) << forced;
  }
  const auto config = SshConfigArguments(options);
  EXPECT_TRUE(has(config, "-G") && has(config, "StrictHostKeyChecking=ask"));
  EXPECT_EQ(config.back(), options.hostName);
}

TEST(SshConfig, ReadsWhatTheLaunchDecidesBy) {
  const SshConfig config = ReadSshConfig(
      "user u\nhostname real.example\nport 2222\nstricthostkeychecking false\nxauthlocation /opt/X/xauth\n");
  EXPECT_EQ(config.hostName, "real.example");
  EXPECT_EQ(config.strictHostKeyChecking, "false");
  EXPECT_EQ(config.xauthLocation, "/opt/X/xauth");
}

}  // namespace
}  // namespace dovrel
