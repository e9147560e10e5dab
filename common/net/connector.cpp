#include "common/net/connector.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "common/net/error_text.h"
#include "common/net/transport.h"

namespace dovrel {

namespace {

// What a lookup thread hands back; shared, so that a lookup left behind
// still has somewhere to write.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int result = 0;
  std::optional<sockaddr_in> address;
};

std::string LookupFailure(int result) {
  switch (result) {
    case EAI_NONAME:
    case EAI_NODATA:
      return "name not found";
    case EAI_AGAIN:
      return "the name server did not answer";
    case EAI_ADDRFAMILY:
      return "the name has no IPv4 address";
    default:
      return std::string("name lookup failed: ") + ::gai_strerror(result);
  }
}

}  // namespace

OrFailure<sockaddr_in> ResolveIPv4(const std::string& hostName, std::uint16_t port, const AbortSignal& abort,
                                   std::chrono::milliseconds limit) {
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, hostName] {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
    std::optional<sockaddr_in> address;
    if (result == 0 && found != nullptr) {
      address.emplace();
      std::memcpy(&*address, found->ai_addr, sizeof *address);
    }
    if (found != nullptr) ::freeaddrinfo(found);
    const std::lock_guard lock(lookup->mutex);
    lookup->result = result == 0 && !address ? EAI_NONAME : result;
    lookup->address = address;
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();

  // The abort signal has no condition variable: look at it every 20 ms.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock lock(lookup->mutex);
  while (!lookup->finished) {
    if (abort.IsTriggered()) return Failure{"stopped"};
    if (std::chrono::steady_clock::now() >= deadline) {
      return Failure{"the name lookup timed out after " + Seconds(limit)};
    }
    lookup->done.wait_for(lock, std::chrono::milliseconds(20));
  }
  if (!lookup->address) return Failure{LookupFailure(lookup->result)};
  sockaddr_in address = *lookup->address;
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

int ConnectSocket(int socket, const sockaddr_in& address, const AbortSignal& abort, std::chrono::milliseconds limit,
                  WaitClock& clock) {
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  switch (WaitForSocket(socket, POLLOUT, abort, limit, clock)) {
    case IoStatus::kOk:
      break;
    case IoStatus::kTimedOut:
      return ETIMEDOUT;
    case IoStatus::kAborted:
      return ECANCELED;
    default:
      return EIO;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

std::string ConnectFailureText(int error, std::chrono::milliseconds limit) {
  switch (error) {
    case ECONNREFUSED:
      return "connection refused";
    case EHOSTUNREACH:
      return "no route to the host";
    case ENETUNREACH:
      return "the network is unreachable";
    case ETIMEDOUT:
      return "timed out after " + Seconds(limit);
    default:
      return ErrorText(error);
  }
}

std::string Seconds(std::chrono::milliseconds limit) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g s", static_cast<double>(limit.count()) / 1000.0);
  return text;
}

std::optional<std::string> DottedAddress(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (address.sin_family != AF_INET || ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
    return std::nullopt;
  }
  return std::string(text);
}

std::optional<std::string> LocalAddressOf(int socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return std::nullopt;
  return DottedAddress(local);
}

std::optional<std::string> PeerAddressOf(int socket) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return std::nullopt;
  return DottedAddress(peer);
}

}  // namespace dovrel

namespace dovrel {

std::string AddressAndPort(std::string_view address, std::uint16_t port) {
  return std::string(address) + ":" + std::to_string(port);
}

std::string AddressAndPort(const sockaddr_in& address) {
  return AddressAndPort(DottedAddress(address).value_or("?"), ntohs(address.sin_port));
}

bool IsAddressOfThisMachine(const std::string& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  if ((ntohl(parsed.s_addr) >> 24) == 127) return true;
  ifaddrs* interfaces = nullptr;
  // Not knowing is taken as "this machine": the answer only ever refuses.
  if (::getifaddrs(&interfaces) != 0) return true;
  bool found = false;
  for (const ifaddrs* entry = interfaces; entry != nullptr && !found; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == parsed.s_addr;
  }
  ::freeifaddrs(interfaces);
  return found;
}

}  // namespace dovrel
