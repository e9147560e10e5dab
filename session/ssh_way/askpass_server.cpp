#include "session/ssh_way/askpass_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/base/askpass_protocol.h"
#include "common/net/local_socket.h"
#include "common/net/transport.h"

namespace dovrel {

namespace {

// Whether `pid` descends from `ancestor`, and how many steps up it is.
std::optional<int> StepsBelow(pid_t pid, pid_t ancestor) {
  constexpr int kDepth = 16;
  for (int steps = 0; steps < kDepth && pid > 1; ++steps) {
    const auto parent = ParentOf(pid);
    if (!parent) return std::nullopt;
    if (*parent == ancestor) return steps + 1;
    pid = *parent;
  }
  return std::nullopt;
}

}  // namespace

std::optional<pid_t> ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return std::nullopt;
  // "pid (name) state ppid ...": the name may hold blanks and parentheses.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  // Then " S ppid ": the state, one character, and the parent.
  std::istringstream fields(line.substr(close + 1));
  std::string state;
  pid_t parent = 0;
  if (!(fields >> state >> parent) || state.size() != 1) return std::nullopt;
  return parent;
}

AskpassServer::~AskpassServer() {
  m_listener.Reset();
  if (!m_path.empty()) ::unlink(m_path.c_str());
  if (!m_logPath.empty()) ::unlink(m_logPath.c_str());
  if (!m_directory.empty()) ::rmdir(m_directory.c_str());
}

bool AskpassServer::Open() {
  // Another account may have made /tmp/dovrel-<uid> first: mkdtemp's name
  // is made new, and fails rather than take one that exists.
  const auto base = OwnSocketDirectory();
  std::string directory = base ? *base + "/askpass-XXXXXX" : "/tmp/dovrel-askpass-XXXXXX";
  std::vector<char> name(directory.begin(), directory.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) return false;
  m_directory = name.data();
  // mkdtemp makes it 0700, inside a directory of this user's alone.
  const std::string path = m_directory + "/socket";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  m_listener = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!m_listener) return false;
  if (::bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
  m_path = path;
  return ::listen(m_listener.Get(), 4) == 0;
}

UniqueFd AskpassServer::OpenLog() {
  if (m_directory.empty()) return {};
  const std::string path = m_directory + "/ssh.log";
  if (::mkfifo(path.c_str(), 0600) != 0) return {};
  m_logPath = path;
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

std::optional<AskpassRequest> AskpassServer::Accept(std::chrono::milliseconds limit, const AbortSignal& abort,
                                                    WaitClock& clock) {
  UniqueFd connection(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (!connection) return std::nullopt;
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(connection.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || !IsThisUser(peer.uid)) {
    return std::nullopt;
  }
  const auto steps = m_client > 0 ? StepsBelow(peer.pid, m_client) : std::nullopt;
  if (!steps) return std::nullopt;
  AskpassRequest request;
  request.fromClient = *steps == 1;
  std::string said;
  const auto deadline = clock.Now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.Now());
    if (left.count() <= 0 || WaitForSocket(connection.Get(), POLLIN, abort, left, clock) != IoStatus::kOk) {
      return std::nullopt;
    }
    std::array<char, 1024> buffer{};
    const ssize_t got = ::recv(connection.Get(), buffer.data(), buffer.size(), 0);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return std::nullopt;
    }
    said.append(buffer.data(), static_cast<std::size_t>(got));
    if (said.size() > kAskpassRequestLimit) return std::nullopt;
  }
  const auto feed = said.find('\n');
  if (feed == std::string::npos) return std::nullopt;
  request.hint = said.substr(0, feed);
  request.prompt = said.substr(feed + 1);
  request.connection = std::move(connection);
  return request;
}

void AskpassServer::Answer(AskpassRequest& request, std::span<const unsigned char> answer) {
  const unsigned char mark = kAskpassAnswered;
  const AbortSignal never;
  const std::chrono::milliseconds limit(1000);
  if (SendAll(request.connection.Get(), std::span(&mark, 1), never, limit, SystemClock())) {
    SendAll(request.connection.Get(), answer, never, limit, SystemClock());
  }
  request.connection.Reset();
}

void AskpassServer::Refuse(AskpassRequest& request) {
  const unsigned char mark = kAskpassRefused;
  const AbortSignal never;
  SendAll(request.connection.Get(), std::span(&mark, 1), never, std::chrono::milliseconds(1000), SystemClock());
  request.connection.Reset();
}

}  // namespace dovrel
