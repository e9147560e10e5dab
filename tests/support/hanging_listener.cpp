#include "hanging_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace dovrel::test {

HangingListener::HangingListener() : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_listener.Get(), 0) != 0 ||
      ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  m_port = ntohs(address.sin_port);
  for (int i = 0; i < 16 && !m_hanging; ++i) {
    UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (::connect(filler.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      return;
    }
    pollfd fd{filler.Get(), POLLOUT, 0};
    m_hanging = ::poll(&fd, 1, 200) == 0;
    m_fillers.push_back(std::move(filler));
  }
}

}  // namespace dovrel::test
