#include "net/connector.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/transport.h"

namespace dovrel {

std::optional<sockaddr_in> ResolveIPv4(const std::string& hostName, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  return address;
}

UniqueFd MakeStreamSocket() {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  // Every send is a whole answer the host waits for: none is held back to
  // wait for more (Nagle), which against a delayed ACK costs 40 ms a line.
  const int on = 1;
  if (socket) ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return socket;
}

bool ConnectSocket(int socket, const sockaddr_in& address, const AbortSignal& abort) {
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return true;
  }
  if (errno != EINPROGRESS && errno != EINTR) return false;
  if (WaitForSocket(socket, POLLOUT, abort, std::chrono::milliseconds(-1)) != IoStatus::kOk) {
    return false;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
  return error == 0;
}

namespace {

std::optional<std::string> Dotted(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (address.sin_family != AF_INET || ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
    return std::nullopt;
  }
  return std::string(text);
}

}  // namespace

std::optional<std::string> LocalAddressOf(int socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return std::nullopt;
  return Dotted(local);
}

std::optional<std::string> PeerAddressOf(int socket) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return std::nullopt;
  return Dotted(peer);
}

}  // namespace dovrel
