#include "session/ssh_way/ssh_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>
#include <thread>
#include <utility>

#include "common/net/child_process.h"

namespace dovrel {

namespace {

int StatusOf(int waited) {
  if (WIFEXITED(waited)) return WEXITSTATUS(waited);
  if (WIFSIGNALED(waited)) return 128 + WTERMSIG(waited);
  return -1;
}

// Pipe ends made close-on-exec; the child's copies are put in place by the
// spawn's file actions.
bool MakePipe(UniqueFd& read, UniqueFd& write) {
  std::array<int, 2> ends{-1, -1};
  if (::pipe2(ends.data(), O_CLOEXEC) != 0) return false;
  read.Reset(ends[0]);
  write.Reset(ends[1]);
  return true;
}

// Starts `arguments` with the standard descriptors given (-1: /dev/null).
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment, int input,
            int output, int errors, int& error) {
  return StartChild({arguments, environment, {input, output, errors}, {}}, error);
}

}  // namespace

SshProcess::SshProcess(SshProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_errors(std::move(other.m_errors)), m_status(other.m_status) {}

SshProcess& SshProcess::operator=(SshProcess&& other) noexcept {
  if (this != &other) {
    End(std::chrono::milliseconds(0));
    m_pid = std::exchange(other.m_pid, -1);
    m_errors = std::move(other.m_errors);
    m_status = other.m_status;
  }
  return *this;
}

SshProcess::~SshProcess() { End(std::chrono::milliseconds(200)); }

SshProcess SshProcess::Start(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                             const std::string& drainProgram, int& error) {
  UniqueFd errorsRead, errorsWrite, drainedRead, drainedWrite;
  if (!MakePipe(errorsRead, errorsWrite) || !MakePipe(drainedRead, drainedWrite)) {
    error = errno;
    return {};
  }
  const pid_t drain = Spawn({drainProgram, "--drain"}, {"PATH=/usr/bin:/bin"}, errorsRead.Get(),
                            drainedWrite.Get(), -1, error);
  if (drain < 0) return {};
  errorsRead.Reset();
  drainedWrite.Reset();
  SshProcess process;
  process.m_pid = Spawn(arguments, environment, -1, -1, errorsWrite.Get(), error);
  errorsWrite.Reset();
  // The drain ends with the client's output. It is not waited for: it may
  // outlive this process, whose end hands it to init.
  if (process.m_pid < 0) {
    ::kill(drain, SIGTERM);
    ::waitpid(drain, nullptr, 0);
    return {};
  }
  SetNonBlocking(drainedRead.Get());
  process.m_errors = std::move(drainedRead);
  return process;
}

bool SshProcess::ReadErrors(std::string& into) {
  if (!m_errors) return false;
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = ::read(m_errors.Get(), buffer.data(), buffer.size());
    if (got > 0) {
      into.append(buffer.data(), static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    m_errors.Reset();
    return false;
  }
}

std::optional<int> SshProcess::Exited() {
  if (m_status) return m_status;
  if (m_pid <= 0) return std::nullopt;
  int waited = 0;
  if (::waitpid(m_pid, &waited, WNOHANG) == m_pid) {
    m_status = StatusOf(waited);
    m_pid = -1;
  }
  return m_status;
}

void SshProcess::End(std::chrono::milliseconds grace) {
  if (m_pid <= 0) return;
  ::kill(-m_pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (!Exited() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (m_pid > 0) {
    ::kill(-m_pid, SIGKILL);
    int waited = 0;
    if (::waitpid(m_pid, &waited, 0) == m_pid) m_status = StatusOf(waited);
    m_pid = -1;
  }
  // Whatever it started and left behind in its group goes with it.
  m_errors.Reset();
}

void SshProcess::LetGo() {
  // Not waited for: the client lives on past this process, and init reaps it.
  m_pid = -1;
  m_errors.Reset();
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& drop, const std::vector<std::string>& add) {
  std::vector<std::string> environment;
  // Nothing in this process changes its environment once it runs.
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    const std::string_view name = variable.substr(0, variable.find('='));
    bool dropped = false;
    for (const std::string& d : drop) dropped = dropped || name == d;
    for (const std::string& a : add) dropped = dropped || name == std::string_view(a).substr(0, a.find('='));
    if (!dropped) environment.emplace_back(variable);
  }
  environment.insert(environment.end(), add.begin(), add.end());
  return environment;
}

std::optional<std::string> RunForOutput(const std::vector<std::string>& arguments,
                                        const std::vector<std::string>& environment, std::chrono::milliseconds limit,
                                        const AbortSignal& abort, int& startError) {
  startError = 0;
  UniqueFd read, write;
  if (!MakePipe(read, write)) {
    startError = errno;
    return std::nullopt;
  }
  const pid_t pid = Spawn(arguments, environment, -1, write.Get(), -1, startError);
  write.Reset();
  if (pid < 0) return std::nullopt;
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || abort.IsTriggered()) {
      timedOut = true;
      break;
    }
    std::array<pollfd, 2> fds{{{read.Get(), POLLIN, 0}, {abort.PollFd(), POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    if (fds[0].revents == 0) continue;
    std::array<char, 4096> buffer{};
    const ssize_t got = ::read(read.Get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(buffer.data(), static_cast<std::size_t>(got));
  }
  if (timedOut) ::kill(-pid, SIGKILL);
  int waited = 0;
  ::waitpid(pid, &waited, 0);
  if (timedOut || StatusOf(waited) != 0) return std::nullopt;
  return output;
}

}  // namespace dovrel
