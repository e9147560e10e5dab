// The askpass helper and the socket it asks through: only a descendant of
// the launch's ssh is heard, the answer comes out as ssh reads it, and the
// helper never waits on a dovrel that is gone.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/base/askpass_protocol.h"
#include "common/net/abort_signal.h"
#include "common/net/unique_fd.h"
#include "session/ssh_way/askpass_server.h"

namespace dovrel {
namespace {

constexpr std::chrono::milliseconds kWait{5000};

// The helper, run with `arguments` and the server's socket in its
// environment; its output read to the end.
class Helper {
 public:
  Helper(const std::vector<std::string>& arguments, const std::string& socket, int input = -1) {
    int out[2];
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    m_output.Reset(out[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> strings{DOVREL_ASKPASS};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(strings.size() + 1);
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::string variable = std::string(kAskpassSocketVariable) + "=" + socket;
    std::vector<char*> envp{variable.data(), nullptr};
    EXPECT_EQ(::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
  }
  ~Helper() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  [[nodiscard]] pid_t Pid() const { return m_pid; }
  [[nodiscard]] int Output() const { return m_output.Get(); }
  void CloseOutput() { m_output.Reset(); }
  // Its exit status, once it has ended within kWait; -1 otherwise.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      ::usleep(10000);
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Its output and exit status, once it has ended within `limit`.
  std::pair<std::string, int> End(std::chrono::milliseconds limit = kWait) {
    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      pollfd ready{m_output.Get(), POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return {said, -1};
      char buffer[256];
      const ssize_t got = ::read(m_output.Get(), buffer, sizeof buffer);
      if (got <= 0) break;
      said.append(buffer, static_cast<std::size_t>(got));
    }
    return {said, Wait()};
  }

 private:
  pid_t m_pid = -1;
  UniqueFd m_output;
};

class Askpass : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Open()); }

  // The next request, waiting at most kWait.
  std::optional<AskpassRequest> Next() {
    pollfd ready{m_server.Listener(), POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(kWait.count())) != 1) return std::nullopt;
    return m_server.Accept(kWait, m_abort);
  }

  AskpassServer m_server;
  AbortSignal m_abort;
};

TEST_F(Askpass, TheLaunchsChildIsAnsweredAndPrintsTheAnswerForSsh) {
  m_server.Admit(::getpid());
  Helper helper({"u@h's password: "}, m_server.SocketPath());
  auto request = Next();
  ASSERT_TRUE(request);
  EXPECT_TRUE(request->fromClient);
  EXPECT_EQ(request->prompt, "u@h's password: ");
  EXPECT_EQ(request->hint, "");
  const std::string answer = "pass word";
  AskpassServer::Answer(*request, {reinterpret_cast<const unsigned char*>(answer.data()), answer.size()});
  EXPECT_EQ(helper.End(), std::make_pair(std::string("pass word\n"), 0));
}

TEST_F(Askpass, ARefusalPrintsNothingAndFails) {
  m_server.Admit(::getpid());
  Helper helper({"Enter passphrase for key 'k': "}, m_server.SocketPath());
  auto request = Next();
  ASSERT_TRUE(request);
  AskpassServer::Refuse(*request);
  EXPECT_EQ(helper.End(), std::make_pair(std::string(), 1));
}

TEST_F(Askpass, AProcessThatTheLaunchsSshDidNotStartIsNotHeard) {
  // Some other process is the launch's ssh: this test's children are not its.
  int idle[2];
  ASSERT_EQ(::pipe2(idle, O_CLOEXEC), 0);
  const UniqueFd idleWriter(idle[1]);
  Helper other({"--drain"}, "", idle[0]);
  ::close(idle[0]);
  m_server.Admit(other.Pid());
  Helper helper({"u@h's password: "}, m_server.SocketPath());
  EXPECT_FALSE(Next());
  EXPECT_EQ(helper.End(), std::make_pair(std::string(), 1));
}

TEST(AskpassHelper, FailsAtOnceWhenDovrelIsGone) {
  std::string path;
  {
    AskpassServer server;
    ASSERT_TRUE(server.Open());
    path = server.SocketPath();
  }
  Helper helper({"u@h's password: "}, path);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(helper.End(), std::make_pair(std::string(), 1));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the socket outlived its server";
}

TEST(AskpassHelper, TheDrainReadsOnAfterItsReaderHasGone) {
  int in[2];
  ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
  UniqueFd writer(in[1]);
  Helper drain({"--drain"}, "", in[0]);
  ::close(in[0]);
  ASSERT_EQ(::write(writer.Get(), "first\n", 6), 6);
  char first[6];
  ASSERT_EQ(::read(drain.Output(), first, sizeof first), 6);
  // dovrel has gone: what ssh writes later must still be taken, or ssh
  // would block once the pipe is full (64 KiB).
  drain.CloseOutput();
  ASSERT_TRUE(SetNonBlocking(writer.Get()));
  const std::string big(std::size_t{256} * 1024, 'x');
  std::size_t written = 0;
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (written < big.size() && std::chrono::steady_clock::now() < deadline) {
    pollfd room{writer.Get(), POLLOUT, 0};
    ::poll(&room, 1, 100);
    const ssize_t put = ::write(writer.Get(), big.data() + written, big.size() - written);
    if (put > 0) written += static_cast<std::size_t>(put);
  }
  EXPECT_EQ(written, big.size());
  writer.Reset();
  EXPECT_EQ(drain.Wait(), 0);
}

}  // namespace
}  // namespace dovrel
