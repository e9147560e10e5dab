#include "common/net/local_socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace dovrel {

namespace {

// The address of `path`, as a file or (`abstract`) in the abstract
// namespace, whose names start with a NUL; false when it is too long.
bool AddressOf(const std::string& path, bool abstract, sockaddr_un& address, socklen_t& length) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  return true;
}

UniqueFd Connect(const std::string& path, bool abstract) {
  sockaddr_un address{};
  socklen_t length = 0;
  if (!AddressOf(path, abstract, address, length)) return {};
  // Non-blocking: a local server that has stopped taking connections
  // (its backlog full) fails the connect at once rather than blocking it.
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket || ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) return {};
  return socket;
}

// Whether the other end of `socket` is root's or this user's.
bool HeldByTrustedOwner(int socket) {
  const auto owner = PeerUid(socket);
  return owner && IsTrustedOwner(*owner);
}

}  // namespace

UniqueFd ConnectLocalSocket(const std::string& path) {
  UniqueFd socket = Connect(path, true);
  if (!socket) socket = Connect(path, false);
  return socket;
}

UniqueFd ConnectTrustedLocalSocket(const std::string& path) {
  for (const bool abstract : {true, false}) {
    UniqueFd socket = Connect(path, abstract);
    if (socket && HeldByTrustedOwner(socket.Get())) return socket;
  }
  return {};
}

std::optional<std::string> OwnSocketDirectory() {
  const auto own = [](const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 0077) == 0;
  };
  // Read on one thread at a time; nothing in either program sets it.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
  const std::string path = runtime != nullptr && *runtime == '/' && own(runtime)
                               ? std::string(runtime) + "/dovrel"
                               : "/tmp/dovrel-" + std::to_string(::geteuid());
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  if (!own(path)) return std::nullopt;
  return path;
}

UniqueFd ListenSocketFile(const std::string& path) {
  sockaddr_un address{};
  socklen_t length = 0;
  if (!AddressOf(path, false, address, length)) return {};
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket) return {};
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    // A server that still answers keeps its name; a dead one's file goes.
    if (errno != EADDRINUSE || Connect(path, false)) return {};
    ::unlink(path.c_str());
    if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) return {};
  }
  if (::listen(socket.Get(), 8) != 0) return {};
  return socket;
}

UniqueFd ConnectOwnSocketFile(const std::string& path) {
  UniqueFd socket = Connect(path, false);
  const auto owner = socket ? PeerUid(socket.Get()) : std::nullopt;
  if (!owner || !IsThisUser(*owner)) return {};
  return socket;
}

bool AbstractNameTrusted(const std::string& path) {
  const UniqueFd socket = Connect(path, true);
  // Nobody holds it: the client goes on to the file.
  return !socket || HeldByTrustedOwner(socket.Get());
}

UniqueFd ListenAbstract(const std::string& name) {
  sockaddr_un address{};
  socklen_t length = 0;
  if (!AddressOf(name, true, address, length)) return {};
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket || ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(socket.Get(), 4) != 0) {
    return {};
  }
  return socket;
}

UniqueFd BindAbstract(const std::string& name) {
  sockaddr_un address{};
  socklen_t length = 0;
  if (!AddressOf(name, true, address, length)) return {};
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket || ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) return {};
  return socket;
}

UniqueFd ConnectAbstract(const std::string& name) { return Connect(name, true); }

std::optional<uid_t> PeerUid(int socket) {
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || length != sizeof peer) return std::nullopt;
  return peer.uid;
}

bool IsTrustedOwner(uid_t uid) { return uid == 0 || IsThisUser(uid); }

bool IsThisUser(uid_t uid) { return uid == ::geteuid(); }

bool LocalSocketListens(const std::string& path) {
  struct stat status{};
  if (::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)) return true;
  // /proc/net/unix lists an abstract socket's name with '@' for its NUL,
  // last on its line; a listening one has state 01 and the flag 00010000.
  std::ifstream table("/proc/net/unix");
  std::string line;
  const std::string name = "@" + path;
  while (std::getline(table, line)) {
    if (line.ends_with(" " + name) && line.find(" 00010000 ") != std::string::npos) return true;
  }
  return false;
}

}  // namespace dovrel
