// dovrel-askpass: the helper that ssh runs for each question it has while a
// launch logs in (SSH_ASKPASS). It passes the question to the dovrel that
// started that ssh, over the socket the environment names, and prints the
// answer for ssh. It holds one answer at a time, and knows nothing of the
// launch.
//
// Run as "dovrel-askpass --drain", it is the drain of ssh's error output
// instead: it copies its input to its output while anything reads that,
// and then reads on to the end, so that the remote command's words never
// block it once dovrel has gone.

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string_view>

#include "common/base/askpass_protocol.h"
#include "common/net/local_socket.h"
#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"

namespace {

constexpr int kExitAnswered = 0;
constexpr int kExitNoAnswer = 1;

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

int Drain() {
  // A reader that has gone is no reason to stop reading.
  ::signal(SIGPIPE, SIG_IGN);
  bool forwarding = true;
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    if (forwarding) forwarding = WriteAll(STDOUT_FILENO, buffer.data(), static_cast<std::size_t>(got));
  }
}

bool SendRequest(int socket, std::string_view hint, std::string_view prompt) {
  std::array<pollfd, 1> ready{{{socket, POLLOUT, 0}}};
  if (::poll(ready.data(), 1, 1000) != 1) return false;
  for (const std::string_view part : {hint, std::string_view("\n"), prompt}) {
    if (::send(socket, part.data(), part.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(part.size())) return false;
  }
  return ::shutdown(socket, SHUT_WR) == 0;
}

int Ask(std::string_view prompt) {
  // Read once, in a program of one thread.
  const char* path = std::getenv(dovrel::kAskpassSocketVariable.data());  // NOLINT(concurrency-mt-unsafe)
  const char* hint = std::getenv("SSH_ASKPASS_PROMPT");                  // NOLINT(concurrency-mt-unsafe)
  if (path == nullptr || *path != '/') return kExitNoAnswer;
  // Only a dovrel of this user's is told the question, and only its answer
  // is printed.
  const dovrel::UniqueFd socket = dovrel::ConnectOwnSocketFile(path);
  if (!socket || !SendRequest(socket.Get(), hint != nullptr ? hint : "", prompt)) return kExitNoAnswer;
  dovrel::WipedArray<char, dovrel::kAskpassAnswerLimit + 2> answer;
  std::size_t size = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(dovrel::kAskpassAnswerSeconds);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return kExitNoAnswer;
    std::array<pollfd, 1> ready{{{socket.Get(), POLLIN, 0}}};
    if (::poll(ready.data(), 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return kExitNoAnswer;
    if (ready[0].revents == 0) continue;
    if (size >= answer.Get().size() - 1) return kExitNoAnswer;
    const ssize_t got = ::recv(socket.Get(), answer.Get().data() + size, answer.Get().size() - 1 - size, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // dovrel gone, or done: the answer is complete.
    if (got <= 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (size == 0 || answer.Get()[0] != dovrel::kAskpassAnswered) return kExitNoAnswer;
  answer.Get()[size] = '\n';
  return WriteAll(STDOUT_FILENO, answer.Get().data() + 1, size) ? kExitAnswered : kExitNoAnswer;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && std::string_view(argv[1]) == "--drain") return Drain();
  // It will hold an answer: no core dumps, no tracing by other processes.
  dovrel::ProtectSecretsFromInspection();
  return Ask(argc >= 2 ? std::string_view(argv[1]) : std::string_view());
}
