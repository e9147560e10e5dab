// A launch over ssh against a stand-in for the OpenSSH client: a script
// that says and asks what a real one does, through the real askpass helper.
// How the launch reads it, answers it, ends it and words the end.

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "worker_fixture.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;

// What the stand-in does after it has "connected": its own log goes to
// descriptor 3 (-E), the host's words to standard error.
constexpr const char* kLogIn =
    "echo 'debug1: Authentications that can continue: password' >&3\n"
    "a=$(\"$SSH_ASKPASS\" \"alice@h's password: \") && [ \"$a\" = secret ] ||"
    " { echo 'alice@h: Permission denied (password).' >&3; exit 255; }\n"
    "echo 'Authenticated to h ([127.0.0.1]:22) using \"password\".' >&3\n"
    "echo \"debug1: Sending command: $last\" >&3\n";

class SshLaunchTest : public test::WorkerFixture {
 protected:
  SshLaunchTest() {
    char folder[] = "/tmp/dovrel-ssh-test-XXXXXX";
    m_folder = ::mkdtemp(folder);
    m_setup.options.ssh = true;
    m_setup.askpassProgram = DOVREL_ASKPASS;
    m_setup.sshProgram = m_folder + "/ssh";
    m_setup.limits.sshLoginLimit = 1000ms;
    m_setup.limits.sshEndLimit = 500ms;
    m_display->localSocket = true;
    m_setup.display = m_display;
  }
  ~SshLaunchTest() override {
    if (const auto pid = Pid()) ::kill(*pid, SIGKILL);
    for (const char* file : {"/ssh", "/pid", "/started"}) ::unlink((m_folder + file).c_str());
    ::rmdir(m_folder.c_str());
  }

  // The stand-in: `-G` gives a configuration; otherwise it connects, notes
  // its pid and runs `body`.
  void Client(const std::string& body) {
    std::ofstream script(m_setup.sshProgram);
    script << "#!/bin/bash\nlog=/dev/null; for last; do [ \"$prev\" = -E ] && log=$last; prev=$last; done\n"
              "if [ \"$1\" = -G ]; then printf 'hostname h\\nxauthlocation /bin/true\\n'; exit 0; fi\n"
              "exec 3>>\"$log\"\necho $$ >"
           << m_folder << "/pid\necho 'debug1: Connection established.' >&3\n"
              "echo 'debug1: Server host key: ssh-ed25519 SHA256:abc' >&3\n"
           << body;
    script.close();
    ::chmod(m_setup.sshProgram.c_str(), 0700);
  }
  std::optional<pid_t> Pid() const {
    std::ifstream file(m_folder + "/pid");
    pid_t pid = 0;
    if (file >> pid) return pid;
    return std::nullopt;
  }
  // Whether the stand-in still runs (not even a zombie of it).
  bool ClientRuns() const {
    const auto pid = Pid();
    return pid && ::kill(*pid, 0) == 0;
  }
  bool Reaches(SessionPhase phase) {
    for (int i = 0; i < 500; ++i) {
      const auto phases = m_observer->Phases();
      if (std::find(phases.begin(), phases.end(), phase) != phases.end()) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  std::string m_folder;
};

TEST_F(SshLaunchTest, EndsAsTheClientAndTheHostSay) {
  struct Case {
    const char* name;
    std::string body;
    std::string password;
    LaunchCause cause;
    const char* boxSays;  // empty: no box
  };
  const std::vector<Case> cases = {
      {"wrong password", kLogIn, "wrong", LaunchCause::kLoginIncorrect, "Login incorrect"},
      {"terminal missing",
       std::string(kLogIn) + "echo 'bash: line 1: xterm: command not found' >&2\necho 'debug1: Exit status 127' >&3\n"
                             "exit 127\n",
       "secret", LaunchCause::kProgramMissing, "~/.profile"},
      {"X11 refused", std::string(kLogIn) + "echo 'X11 forwarding request failed on channel 0' >&3\nexit 1\n",
       "secret", LaunchCause::kX11Refused, "X11Forwarding yes"},
      // The form's observer says no to the key: no box, ssh told "no".
      {"host key declined",
       "a=$(\"$SSH_ASKPASS\" \"The authenticity of host 'h (127.0.0.1)' can't be established.\n"
       "ED25519 key fingerprint is SHA256:abc.\nAre you sure you want to continue connecting "
       "(yes/no/[fingerprint])? \")\n[ \"$a\" = no ] && { echo 'Host key verification failed.' >&3; exit 255; }\n"
       "sleep 30\n",
       "secret", LaunchCause::kHostKeyUnknown, ""},
      // A prompt from a process below the client (a hop's ssh) gets no password.
      {"a hop's prompt", "bash -c '\"$SSH_ASKPASS\" \"alice@h'\"'\"'s password: \"; true'\nsleep 30\n", "secret",
       LaunchCause::kSshQuestion, "alice@h's password:"},
      {"a one-time code", "\"$SSH_ASKPASS\" '(alice@h) Verification code: '\nsleep 30\n", "secret",
       LaunchCause::kSshQuestion, "Verification code"},
      {"silent while logging in", "sleep 30\n", "secret", LaunchCause::kHostStopped, ""},
      {"password asked twice",
       "echo 'debug1: Authentications that can continue: password' >&3\n"
       "\"$SSH_ASKPASS\" \"alice@h's password: \" >/dev/null\n\"$SSH_ASKPASS\" \"alice@h's password: \"\nsleep 30\n",
       "secret", LaunchCause::kLoginIncorrect, "Login incorrect"},
      // The destination asks in ssh's words: no host-key box, no "yes".
      {"the host asking as ssh",
       "echo 'debug1: Authentications that can continue: keyboard-interactive' >&3\n"
       "a=$(\"$SSH_ASKPASS\" \"(alice@h) The authenticity of host 'h' can't be established.\n"
       "ED25519 key fingerprint is SHA256:\xe2\x80\xae" "abc.\nAre you sure you want to continue connecting "
       "(yes/no/[fingerprint])? \")\n[ \"$a\" = yes ] && touch yes\nsleep 30\n",
       "secret", LaunchCause::kSshQuestion, "The authenticity of host 'h' can't be established."},
  };
  for (const Case& c : cases) {
    m_observer = std::make_shared<test::RecordingObserver>();
    Client(c.body);
    Start({.password = c.password});
    ASSERT_TRUE(Finishes()) << c.name;
    EXPECT_EQ(m_session->Outcome(), c.cause) << c.name;
    const auto texts = m_observer->MessageTexts();
    const auto messages = m_observer->Messages();
    if (*c.boxSays == '\0') {
      EXPECT_TRUE(messages.empty()) << c.name;
    } else if (c.cause == LaunchCause::kLoginIncorrect) {
      EXPECT_EQ(messages, std::vector{EndBox::kLoginIncorrect}) << c.name;
    } else {
      ASSERT_EQ(texts.size(), 1U) << c.name;
      EXPECT_NE(texts[0].find(c.boxSays), std::string::npos) << c.name << ": " << texts[0];
    }
    EXPECT_FALSE(ClientRuns()) << c.name << ": the client was left running";
    const std::string reports = m_observer->Reports();
    if (c.cause == LaunchCause::kLoginIncorrect) {
      EXPECT_EQ(reports.find("Login incorrect"), reports.rfind("Login incorrect")) << c.name << ": one line";
    }
    for (const char* control : {"\x1b", "\xe2\x80\xae"}) {
      EXPECT_EQ((reports + (texts.empty() ? "" : texts[0])).find(control), std::string::npos) << c.name;
    }
    EXPECT_EQ(m_observer->Reports().find("secret"), std::string::npos) << c.name;
    m_thread.reset();
  }
}

TEST_F(SshLaunchTest, TheWindowEndsTheLaunchAndTheClientRunsOn) {
  Client(std::string(kLogIn) + "sleep 30\n");
  Start();
  ASSERT_TRUE(Reaches(SessionPhase::kWaitingForWindow));
  m_display->ShowTerminal();
  ASSERT_TRUE(Finishes());
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kSeen);
  EXPECT_TRUE(ClientRuns()) << "the terminal lives inside the client's connection";
}

TEST_F(SshLaunchTest, EscapeEndsTheClientAtOnce) {
  Client("sleep 30\n");
  Start();
  ASSERT_TRUE(Reaches(SessionPhase::kLoggingIn));
  const auto stopped = std::chrono::steady_clock::now();
  m_session->Abort();
  ASSERT_TRUE(Finishes(2s));
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
  EXPECT_EQ(m_session->Outcome(), LaunchCause::kAborted);
  EXPECT_FALSE(ClientRuns());
}

// Before ssh starts: the client, and the display's local socket, which ssh
// opens with no owner check of its own.
TEST_F(SshLaunchTest, WhatIsCheckedBeforeSshStartsEndsItWithItsCause) {
  Client("touch " + m_folder + "/started\nsleep 30\n");
  struct Case {
    const char* name;
    std::function<void()> arrange;
    LaunchCause cause;
  };
  const std::vector<Case> cases = {
      {"no client", [this] { m_setup.sshProgram = m_folder + "/none"; }, LaunchCause::kSshMissing},
      {"another account's socket", [this] { m_display->localSocketTrusted = false; }, LaunchCause::kForeignListener},
      {"no X server", [this] { m_display->localSocket = false; }, LaunchCause::kNoXServer},
  };
  for (const Case& c : cases) {
    m_setup.sshProgram = m_folder + "/ssh";
    m_display->localSocket = true;
    m_display->localSocketTrusted = true;
    c.arrange();
    m_observer = std::make_shared<test::RecordingObserver>();
    Start();
    ASSERT_TRUE(Finishes()) << c.name;
    EXPECT_EQ(m_session->Outcome(), c.cause) << c.name;
    EXPECT_EQ(m_observer->MessageTexts().size(), 1U) << c.name << ": a box says why";
    EXPECT_NE(::access((m_folder + "/started").c_str(), F_OK), 0) << c.name << ": ssh was started";
    m_thread.reset();
  }
}

}  // namespace
}  // namespace dovrel
