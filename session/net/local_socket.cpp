#include "net/local_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <string_view>

namespace dovrel {

namespace {

UniqueFd Connect(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
  if (path.size() + offset >= sizeof address.sun_path) return {};
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket || ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) return {};
  return socket;
}

}  // namespace

UniqueFd ConnectLocalSocket(const std::string& path) {
  UniqueFd socket = Connect(path, true);
  if (!socket) socket = Connect(path, false);
  if (socket) {
    const int flags = ::fcntl(socket.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(socket.Get(), F_SETFL, flags | O_NONBLOCK) != 0) socket.Reset();
  }
  return socket;
}

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
